// x86-64 instruction lengths for the prologues of hooked functions, and import-thunk following.
// Pure code over byte buffers, so the tables can be checked on any machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace hidekit {

// One decoded instruction: its length and what must be fixed up when it is moved.
struct Instruction {
  std::size_t length = 0;
  int disp_offset = -1;    // offset of a RIP-relative disp32, or -1
  int rel_offset = -1;     // offset of a rel32 branch target (call, jmp, jcc), or -1
  bool ends_flow = false;  // ret or unconditional jmp: nothing after it belongs to the function
};

namespace decode_detail {

inline bool IsLegacyPrefix(std::uint8_t b) {
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
inline bool TwoByteWithModRm(std::uint8_t op) {
  return (op >= 0x10 && op <= 0x17) || (op >= 0x18 && op <= 0x1F) || (op >= 0x28 && op <= 0x2F) ||
         (op >= 0x40 && op <= 0x4F) || (op >= 0x50 && op <= 0x6F) || op == 0x7E || op == 0x7F || op == 0xAF ||
         op == 0xB6 || op == 0xB7 || op == 0xBE || op == 0xBF || op == 0xD6 || op == 0xEF;
}

}  // namespace decode_detail

// Decodes the instruction at `code`. Returns false for anything outside the small subset met in
// the prologues of the listing functions (better to refuse a hook than to copy half an
// instruction into a trampoline).
inline bool DecodeInstruction(const std::uint8_t* code, Instruction& out) {
  out = Instruction{};
  std::size_t i = 0;
  bool opsize16 = false;
  while (decode_detail::IsLegacyPrefix(code[i])) {
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
    } else if (decode_detail::TwoByteWithModRm(op2)) {
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

// Follows import thunks (`jmp [rip+x]`, `jmp rel32`, optionally behind the 8-byte
// `lea rsp,[rsp+0]` filler) to the code that really runs.
inline const std::uint8_t* FollowThunks(const std::uint8_t* code) {
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

}  // namespace hidekit
