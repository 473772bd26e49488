// Entry-point patching for x86-64: the target's first instructions move into a trampoline and a
// 5-byte `jmp rel32` to a nearby relay (`jmp [rip+0]` to the hook) takes their place.
#include "tests/hidekit/inline_hook.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace hidekit {
namespace {

constexpr std::size_t kPatchSize = 5;     // jmp rel32
constexpr std::size_t kAbsJumpSize = 14;  // jmp [rip+0] + 8-byte address
constexpr std::size_t kSlotSize = 64;     // relay + trampoline of one hook
constexpr std::size_t kBlockSize = 0x1000;
constexpr std::int64_t kNear = 0x7FF00000;  // what a rel32 reaches, with some room

struct Block {
  std::uint8_t* base;
  std::size_t used;
};
std::vector<Block>& Blocks() {
  static std::vector<Block> blocks;
  return blocks;
}

bool Near(const void* a, const void* b) {
  const std::int64_t d = reinterpret_cast<std::intptr_t>(a) - reinterpret_cast<std::intptr_t>(b);
  return d > -kNear && d < kNear;
}

// Executable memory within rel32 reach of `target`: relays and moved RIP-relative operands
// need it.
std::uint8_t* AllocateNear(const std::uint8_t* target) {
  for (Block& b : Blocks()) {
    if (b.used + kSlotSize <= kBlockSize && Near(b.base, target)) {
      std::uint8_t* slot = b.base + b.used;
      b.used += kSlotSize;
      return slot;
    }
  }
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  const std::uintptr_t gran = si.dwAllocationGranularity;
  const std::uintptr_t t = reinterpret_cast<std::uintptr_t>(target);
  const std::uintptr_t min_app = reinterpret_cast<std::uintptr_t>(si.lpMinimumApplicationAddress);
  std::uintptr_t lo = t > static_cast<std::uintptr_t>(kNear) + min_app ? t - kNear : min_app;
  const std::uintptr_t hi = t + kNear - kBlockSize;
  for (std::uintptr_t a = (lo + gran - 1) / gran * gran; a < hi;) {
    MEMORY_BASIC_INFORMATION mbi;
    if (VirtualQuery(reinterpret_cast<void*>(a), &mbi, sizeof mbi) == 0) break;
    if (mbi.State == MEM_FREE) {
      void* p = VirtualAlloc(reinterpret_cast<void*>(a), kBlockSize, MEM_RESERVE | MEM_COMMIT,
                             PAGE_EXECUTE_READWRITE);
      if (p != nullptr) {
        Blocks().push_back({static_cast<std::uint8_t*>(p), kSlotSize});
        return static_cast<std::uint8_t*>(p);
      }
    }
    const std::uintptr_t next = reinterpret_cast<std::uintptr_t>(mbi.BaseAddress) + mbi.RegionSize;
    a = next > a ? (next + gran - 1) / gran * gran : a + gran;
  }
  return nullptr;
}

void WriteAbsJump(std::uint8_t* at, const void* to) {
  static const std::uint8_t kJmpRip[] = {0xFF, 0x25, 0, 0, 0, 0};
  std::memcpy(at, kJmpRip, sizeof kJmpRip);
  std::memcpy(at + sizeof kJmpRip, &to, sizeof to);
}

// Re-aims a 32-bit displacement at offset `field` of an instruction moved from `from` to `to`.
bool Retarget(const std::uint8_t* from, std::uint8_t* to, std::size_t length, int field) {
  std::int32_t d;
  std::memcpy(&d, to + field, 4);
  const std::uint8_t* absolute = from + length + d;
  const std::int64_t moved = absolute - (to + length);
  if (moved < INT32_MIN || moved > INT32_MAX) return false;
  d = static_cast<std::int32_t>(moved);
  std::memcpy(to + field, &d, 4);
  return true;
}

}  // namespace

bool PrepareHook(std::uint8_t* target, void* hook, PreparedHook& out, std::string& error) {
  std::uint8_t* slot = AllocateNear(target);
  if (slot == nullptr) {
    error = "no free memory within 2 GB of the function";
    return false;
  }
  std::uint8_t* relay = slot;
  std::uint8_t* trampoline = slot + kAbsJumpSize;
  WriteAbsJump(relay, hook);

  std::size_t copied = 0;
  while (copied < kPatchSize) {
    Instruction ins;
    if (!DecodeInstruction(target + copied, ins)) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "unknown instruction at +%zu (first byte %02x)", copied, target[copied]);
      error = buf;
      return false;
    }
    if (ins.ends_flow && copied + ins.length < kPatchSize) {
      error = "function is shorter than the patch";
      return false;
    }
    std::memcpy(trampoline + copied, target + copied, ins.length);
    for (int field : {ins.disp_offset, ins.rel_offset}) {
      if (field >= 0 && !Retarget(target + copied, trampoline + copied, ins.length, field)) {
        error = "relative operand out of reach of the trampoline";
        return false;
      }
    }
    copied += ins.length;
  }
  WriteAbsJump(trampoline + copied, target + copied);
  FlushInstructionCache(GetCurrentProcess(), slot, kSlotSize);
  out = PreparedHook{target, trampoline, copied};
  return true;
}

bool CommitHook(const PreparedHook& hook, std::string& error) {
  // The relay sits just before the trampoline in the hook's slot.
  const std::uint8_t* relay = static_cast<const std::uint8_t*>(hook.trampoline) - kAbsJumpSize;
  std::uint8_t patch[kPatchSize] = {0xE9};
  const std::int32_t rel = static_cast<std::int32_t>(relay - (hook.target + kPatchSize));
  std::memcpy(patch + 1, &rel, 4);
  DWORD old;
  if (!VirtualProtect(hook.target, kPatchSize, PAGE_EXECUTE_READWRITE, &old)) {
    error = "VirtualProtect failed (" + std::to_string(GetLastError()) + ")";
    return false;
  }
  std::memcpy(hook.target, patch, kPatchSize);
  VirtualProtect(hook.target, kPatchSize, old, &old);
  FlushInstructionCache(GetCurrentProcess(), hook.target, kPatchSize);
  return true;
}

}  // namespace hidekit
