// Decodes the instruction forms a hook writes over a function's first bytes into where they lead.
#pragma once

#include <cstdint>
#include <span>

namespace processes {

struct DecodedHook {
  enum class Form { None, Jump, Call, ShortJump, IndirectJump, RegisterJump, PushReturn, Breakpoint };
  Form form = Form::None;
  std::uint64_t target = 0;   // where it leads (0 for a breakpoint or an indirect jump still to read)
  std::uint64_t pointer = 0;  // indirect jump: where the target is stored
};

// The form at `address` whose bytes (as they are now in memory) start `bytes`. `x64` picks the
// 64-bit reading of FF 25 (relative to the next instruction) and of push-return.
DecodedHook DecodeHook(std::span<const std::uint8_t> bytes, std::uint64_t address, bool x64);

}  // namespace processes
