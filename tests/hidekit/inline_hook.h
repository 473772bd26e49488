// Entry-point patching for x86-64: trampolines to the original code and relays to the hooks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/hidekit/x64_decode.h"

namespace hidekit {

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
