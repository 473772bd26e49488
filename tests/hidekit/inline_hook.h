// Entry-point patching for x86-64: a length decoder for prologues, thunk following, trampolines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hidekit {

// One decoded instruction: its length and what must be fixed up when it is moved.
struct Instruction {
  std::size_t length = 0;
  int disp_offset = -1;    // offset of a RIP-relative disp32, or -1
  int rel_offset = -1;     // offset of a rel32 branch target (call, jmp, jcc), or -1
  bool ends_flow = false;  // ret or unconditional jmp: nothing after it belongs to the function
};

// Decodes the instruction at `code`. Returns false for anything outside the small subset met in
// the prologues of the listing functions (better to refuse a hook than to copy half an
// instruction into a trampoline).
bool DecodeInstruction(const std::uint8_t* code, Instruction& out);

// Follows import thunks (`jmp [rip+x]`, `jmp rel32`, optionally behind the 8-byte
// `lea rsp,[rsp+0]` filler) to the code that really runs.
const std::uint8_t* FollowThunks(const std::uint8_t* code);

// A hook that has been prepared (trampoline built) but not yet written over the target, so a
// batch of hooks can be checked completely before any code is changed.
struct PreparedHook {
  std::uint8_t* target = nullptr;
  void* trampoline = nullptr;  // call this to run the original function
  std::size_t copied = 0;      // prologue bytes moved into the trampoline
};

// Builds the trampoline and the relay to `hook` for the code at `target`. On failure returns
// false and describes the reason in `error`.
bool PrepareHook(std::uint8_t* target, void* hook, PreparedHook& out, std::string& error);

// Writes the 5-byte jump into the target's entry. Only valid for a prepared hook.
bool CommitHook(const PreparedHook& hook, std::string& error);

}  // namespace hidekit
