// Decodes the instruction forms a hook writes over a function's first bytes into where they lead.
#include "processes/hook_decode.h"

#include <cstring>

namespace processes {
namespace {

template <typename T>
bool Read(std::span<const std::uint8_t> b, std::size_t at, T& out) {
  if (at > b.size() || sizeof(T) > b.size() - at) return false;
  std::memcpy(&out, b.data() + at, sizeof(T));
  return true;
}

bool Is(std::span<const std::uint8_t> b, std::size_t at, std::initializer_list<std::uint8_t> want) {
  if (at > b.size() || want.size() > b.size() - at) return false;
  std::size_t i = at;
  for (const std::uint8_t w : want)
    if (b[i++] != w) return false;
  return true;
}

}  // namespace

DecodedHook DecodeHook(std::span<const std::uint8_t> b, std::uint64_t address, bool x64) {
  using F = DecodedHook::Form;
  DecodedHook d;
  std::int32_t rel32 = 0;
  std::int8_t rel8 = 0;
  std::uint32_t imm32 = 0, high = 0;
  std::uint64_t imm64 = 0;
  const std::uint64_t mask = x64 ? ~0ull : 0xFFFFFFFFull;
  if (b.empty()) return d;
  switch (b[0]) {
    case 0xE9:
    case 0xE8:
      if (Read(b, 1, rel32)) {
        d.form = b[0] == 0xE9 ? F::Jump : F::Call;
        d.target = (address + 5 + static_cast<std::uint64_t>(std::int64_t{rel32})) & mask;
      }
      return d;
    case 0xEB:
      if (Read(b, 1, rel8)) {
        d.form = F::ShortJump;
        d.target = (address + 2 + static_cast<std::uint64_t>(std::int64_t{rel8})) & mask;
      }
      return d;
    case 0xFF:
      if (Is(b, 0, {0xFF, 0x25}) && Read(b, 2, rel32)) {
        d.form = F::IndirectJump;
        d.pointer = x64 ? address + 6 + static_cast<std::uint64_t>(std::int64_t{rel32})
                        : static_cast<std::uint32_t>(rel32);
      }
      return d;
    case 0x48:  // mov rax, imm64; jmp rax
      if (x64 && Is(b, 0, {0x48, 0xB8}) && Read(b, 2, imm64) && Is(b, 10, {0xFF, 0xE0})) {
        d.form = F::RegisterJump;
        d.target = imm64;
      }
      return d;
    case 0x49:  // mov r11, imm64; jmp r11
      if (x64 && Is(b, 0, {0x49, 0xBB}) && Read(b, 2, imm64) && Is(b, 10, {0x41, 0xFF, 0xE3})) {
        d.form = F::RegisterJump;
        d.target = imm64;
      }
      return d;
    case 0x68:  // push imm32 [; mov dword [rsp+4], imm32]; ret
      if (!Read(b, 1, imm32)) return d;
      if (Is(b, 5, {0xC3})) {
        d.form = F::PushReturn;
        // On x64 the pushed value is sign-extended to 64 bits.
        d.target = x64 ? static_cast<std::uint64_t>(std::int64_t{static_cast<std::int32_t>(imm32)}) : imm32;
      } else if (x64 && Is(b, 5, {0xC7, 0x44, 0x24, 0x04}) && Read(b, 9, high) && Is(b, 13, {0xC3})) {
        d.form = F::PushReturn;
        d.target = (std::uint64_t{high} << 32) | imm32;
      }
      return d;
    case 0xCC:
      d.form = F::Breakpoint;
      return d;
    default:
      return d;
  }
}

}  // namespace processes
