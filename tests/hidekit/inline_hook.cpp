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

bool IsLegacyPrefix(std::uint8_t b) {
  switch (b) {
    case 0x66:
    case 0x67:
    case 0xF2:
    case 0xF3:
    case 0x2E:
    case 0x3E:
    case 0x26:
    case 0x36:
    case 0x64:
    case 0x65:
    case 0xF0:
      return true;
    default:
      return false;
  }
}

// Two-byte opcodes (after 0x0F) that take a ModRM byte and no immediate.
bool TwoByteWithModRm(std::uint8_t op) {
  return (op >= 0x10 && op <= 0x17) || (op >= 0x18 && op <= 0x1F) || (op >= 0x28 && op <= 0x2F) ||
         (op >= 0x40 && op <= 0x4F) || (op >= 0x50 && op <= 0x6F) || op == 0x7E || op == 0x7F || op == 0xAF ||
         op == 0xB6 || op == 0xB7 || op == 0xBE || op == 0xBF || op == 0xD6 || op == 0xEF;
}

}  // namespace

bool DecodeInstruction(const std::uint8_t* code, Instruction& out) {
  out = Instruction{};
  std::size_t i = 0;
  bool opsize16 = false;
  while (IsLegacyPrefix(code[i])) {
    if (code[i] == 0x66) opsize16 = true;
    if (++i > 4) return false;
  }
  bool rex_w = false;
  if ((code[i] & 0xF0) == 0x40) rex_w = (code[i++] & 0x08) != 0;
  const std::uint8_t op = code[i++];
  const std::size_t imm_z = opsize16 ? 2 : 4;  // the "z" immediate: 16 or 32 bits
  bool modrm = false;
  std::size_t imm = 0;
  int rel = 0;  // size of a relative branch operand: 0, or 4 (rel8 branches cannot move)

  if (op == 0x0F) {
    const std::uint8_t op2 = code[i++];
    if (op2 >= 0x80 && op2 <= 0x8F) {
      rel = 4;
    } else if (op2 == 0x05 || op2 == 0xA2) {
      // syscall, cpuid
    } else if (op2 == 0x70 || op2 == 0xBA) {
      modrm = true;
      imm = 1;
    } else if (TwoByteWithModRm(op2)) {
      modrm = true;
    } else {
      return false;
    }
  } else if (op < 0x40) {
    switch (op & 7) {
      case 0:
      case 1:
      case 2:
      case 3:
        modrm = true;
        break;
      case 4:
        imm = 1;
        break;
      case 5:
        imm = imm_z;
        break;
      default:
        return false;  // segment pushes, BCD: invalid in 64-bit mode
    }
  } else if (op >= 0x50 && op <= 0x5F) {
    // push/pop reg
  } else if (op == 0x63 || (op >= 0x84 && op <= 0x8F)) {
    modrm = true;
  } else if (op == 0x68) {
    imm = 4;
  } else if (op == 0x6A) {
    imm = 1;
  } else if (op == 0x69) {
    modrm = true;
    imm = imm_z;
  } else if (op == 0x6B || op == 0x80 || op == 0x83 || op == 0xC0 || op == 0xC1 || op == 0xC6) {
    modrm = true;
    imm = 1;
  } else if (op == 0x81 || op == 0xC7) {
    modrm = true;
    imm = imm_z;
  } else if (op >= 0x90 && op <= 0x99) {
    // nop, xchg, cwde, cdq
  } else if (op == 0xA8) {
    imm = 1;
  } else if (op == 0xA9) {
    imm = imm_z;
  } else if (op >= 0xB0 && op <= 0xB7) {
    imm = 1;
  } else if (op >= 0xB8 && op <= 0xBF) {
    imm = rex_w ? 8 : imm_z;
  } else if (op == 0xC3) {
    out.ends_flow = true;
  } else if (op >= 0xD0 && op <= 0xD3) {
    modrm = true;
  } else if (op == 0xE8) {
    rel = 4;
  } else if (op == 0xE9) {
    rel = 4;
    out.ends_flow = true;
  } else if (op == 0xF6 || op == 0xF7 || op == 0xFE || op == 0xFF) {
    modrm = true;
    const std::uint8_t reg = (code[i] >> 3) & 7;
    if (op == 0xF6 && reg == 0) imm = 1;
    if (op == 0xF7 && reg == 0) imm = imm_z;
    if (op == 0xFF && (reg == 4 || reg == 5)) out.ends_flow = true;
  } else {
    return false;  // rel8 branches, int3 and everything not met in a prologue
  }

  if (modrm) {
    const std::uint8_t m = code[i++];
    const std::uint8_t mod = m >> 6, rm = m & 7;
    std::size_t disp = 0;
    if (mod != 3) {
      if (rm == 4) {
        const std::uint8_t sib = code[i++];
        if (mod == 0 && (sib & 7) == 5) disp = 4;
      }
      if (mod == 0 && rm == 5) {
        out.disp_offset = static_cast<int>(i);
        disp = 4;
      } else if (mod == 1) {
        disp = 1;
      } else if (mod == 2) {
        disp = 4;
      }
    }
    i += disp;
  }
  if (rel != 0) {
    out.rel_offset = static_cast<int>(i);
    i += rel;
  }
  i += imm;
  out.length = i;
  return i <= 15;
}

const std::uint8_t* FollowThunks(const std::uint8_t* code) {
  static const std::uint8_t kLeaRspFiller[] = {0x48, 0x8D, 0xA4, 0x24, 0x00, 0x00, 0x00, 0x00};
  for (int hops = 0; hops < 8; ++hops) {
    const std::uint8_t* p = code;
    if (std::memcmp(p, kLeaRspFiller, sizeof kLeaRspFiller) == 0) p += sizeof kLeaRspFiller;
    if (p[0] == 0x48 && p[1] == 0xFF && p[2] == 0x25) ++p;  // REX.W jmp [rip+x]
    std::int32_t d;
    if (p[0] == 0xFF && p[1] == 0x25) {
      std::memcpy(&d, p + 2, 4);
      std::memcpy(&code, p + 6 + d, sizeof code);
    } else if (p[0] == 0xE9) {
      std::memcpy(&d, p + 1, 4);
      code = p + 5 + d;
    } else {
      break;
    }
  }
  return code;
}

namespace {

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
