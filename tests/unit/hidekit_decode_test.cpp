// The hiding kit's prologue decoder: lengths and fix-up positions it moves into a trampoline,
// instructions it must refuse, and thunk following.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "tests/hidekit/x64_decode.h"

namespace {

using Bytes = std::array<std::uint8_t, 16>;  // zero padding: the decoder may look ahead

Bytes Code(std::initializer_list<std::uint8_t> bytes) {
  Bytes b{};
  std::copy(bytes.begin(), bytes.end(), b.begin());
  return b;
}

TEST(HidekitDecode, LengthsAndFixups) {
  struct Case {
    const char* what;
    Bytes code;
    std::size_t length;
    int disp_offset;
    int rel_offset;
    bool ends_flow;
  };
  const Case cases[] = {
      {"lea rsp,[rsp+0] (hot-patch filler)", Code({0x48, 0x8D, 0xA4, 0x24, 0, 0, 0, 0}), 8, -1, -1, false},
      {"push r15", Code({0x41, 0x57}), 2, -1, -1, false},
      {"sub rsp,0x28", Code({0x48, 0x83, 0xEC, 0x28}), 4, -1, -1, false},
      {"sub rsp,0x198", Code({0x48, 0x81, 0xEC, 0x98, 0x01, 0, 0}), 7, -1, -1, false},
      {"mov r9d,1", Code({0x41, 0xB9, 1, 0, 0, 0}), 6, -1, -1, false},
      {"xor r9d,r9d", Code({0x45, 0x31, 0xC9}), 3, -1, -1, false},
      {"mov [rsp+8],rbx", Code({0x48, 0x89, 0x5C, 0x24, 0x08}), 5, -1, -1, false},
      {"mov dword [rsp+0x28],0", Code({0xC7, 0x44, 0x24, 0x28, 0, 0, 0, 0}), 8, -1, -1, false},
      {"mov eax,[disp32] (SIB, no base)", Code({0x8B, 0x04, 0x25, 0, 0, 0, 0}), 7, -1, -1, false},
      {"mov rax,[rip+x]", Code({0x48, 0x8B, 0x05, 0x11, 0x22, 0x33, 0x44}), 7, 3, -1, false},
      {"mov rax,imm64", Code({0x48, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8}), 10, -1, -1, false},
      {"mov ax,imm16", Code({0x66, 0xB8, 0x34, 0x12}), 4, -1, -1, false},
      {"test cl,1", Code({0xF6, 0xC1, 0x01}), 3, -1, -1, false},
      {"neg eax", Code({0xF7, 0xD8}), 2, -1, -1, false},
      {"nop word [rax+rax]", Code({0x66, 0x0F, 0x1F, 0x44, 0, 0}), 6, -1, -1, false},
      {"endbr64", Code({0xF3, 0x0F, 0x1E, 0xFA}), 4, -1, -1, false},
      {"call rel32", Code({0xE8, 0xDB, 0xEF, 0xFF, 0xFF}), 5, -1, 1, false},
      {"je rel32", Code({0x0F, 0x84, 1, 0, 0, 0}), 6, -1, 2, false},
      {"jmp rel32", Code({0xE9, 1, 0, 0, 0}), 5, -1, 1, true},
      {"jmp [rip+x]", Code({0xFF, 0x25, 1, 0, 0, 0}), 6, 2, -1, true},
      {"ret", Code({0xC3}), 1, -1, -1, true},
  };
  for (const Case& c : cases) {
    hidekit::Instruction ins;
    ASSERT_TRUE(hidekit::DecodeInstruction(c.code.data(), ins)) << c.what;
    EXPECT_EQ(ins.length, c.length) << c.what;
    EXPECT_EQ(ins.disp_offset, c.disp_offset) << c.what;
    EXPECT_EQ(ins.rel_offset, c.rel_offset) << c.what;
    EXPECT_EQ(ins.ends_flow, c.ends_flow) << c.what;
  }
}

// Moving these would need rewriting (short branches) or is plainly not a prologue.
TEST(HidekitDecode, RefusesWhatItCannotMove) {
  for (const Bytes& code : {Code({0x74, 0x05}), Code({0xEB, 0x05}), Code({0xCC}), Code({0x0F, 0x38, 0, 0xC0}),
                            Code({0xA1, 0, 0, 0, 0, 0, 0, 0, 0})}) {
    hidekit::Instruction ins;
    EXPECT_FALSE(hidekit::DecodeInstruction(code.data(), ins)) << std::hex << int(code[0]);
  }
}

TEST(HidekitDecode, FollowsImportThunksToTheCode) {
  alignas(8) std::array<std::uint8_t, 96> mem{};
  std::uint8_t* stub = mem.data();       // lea rsp,[rsp+0]; jmp [rip+2]  -> slot at 16
  std::uint8_t* jump = mem.data() + 32;  // jmp rel32 -> body at 64
  std::uint8_t* body = mem.data() + 64;  // push r15
  const std::uint8_t stub_code[] = {0x48, 0x8D, 0xA4, 0x24, 0, 0, 0, 0, 0xFF, 0x25, 0x02, 0, 0, 0};
  std::memcpy(stub, stub_code, sizeof stub_code);
  std::memcpy(mem.data() + 16, &jump, sizeof jump);
  const std::int32_t rel = static_cast<std::int32_t>(body - (jump + 5));
  jump[0] = 0xE9;
  std::memcpy(jump + 1, &rel, 4);
  body[0] = 0x41;
  body[1] = 0x57;

  EXPECT_EQ(hidekit::FollowThunks(stub), body);
  EXPECT_EQ(hidekit::FollowThunks(jump), body);
  EXPECT_EQ(hidekit::FollowThunks(body), body);
}

}  // namespace
