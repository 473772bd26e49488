// Process memory: the system's address range, region queries in the build's record layout, and reads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/record_io.h"
#include "platform/records.h"
#include "tests/conformance/backend.h"

namespace conformance {
namespace {

using namespace platform;
namespace rec = platform::records;

CONFORMANCE_SUITE(ProcessMemory);

// This process, opened as the memory dump opens a process.
KernelHandle OpenSelf(Kernel32& k32, DWORD access = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ) {
  return KernelHandle(k32.OpenProcess(access, false, k32.GetCurrentProcessId()));
}

std::optional<rec::MEMORY_BASIC_INFORMATION> Query(Kernel32& k32, Handle process, std::uint64_t address) {
  std::byte buffer[sizeof(rec::MEMORY_BASIC_INFORMATION)];
  if (k32.VirtualQueryEx(process, address, buffer) != sizeof buffer) return std::nullopt;
  return rec::RecordReader(buffer).Get<rec::MEMORY_BASIC_INFORMATION>(0);
}

TEST_P(ProcessMemory, TheAddressRangeIsTheUsualOne) {
  Kernel32::SystemInfo info;
  P().kernel32.GetSystemInfo(info);
  EXPECT_EQ(info.pageSize, 4096u);
  EXPECT_EQ(info.allocationGranularity, 0x10000u);
  EXPECT_EQ(info.minimumApplicationAddress, 0x10000u);
  EXPECT_GE(info.maximumApplicationAddress, 0x7FFEFFFFu);
  EXPECT_EQ((info.maximumApplicationAddress + 1) % 0x10000, 0u);
  EXPECT_GE(info.numberOfProcessors, 1u);
}

TEST_P(ProcessMemory, ARegionHoldsTheBytesAndReadsBack) {
  const std::string bytes = "memory the conformance suite reads back through another handle";
  const std::uint64_t at = B().MakeMemory(bytes);
  auto& k32 = P().kernel32;
  const KernelHandle self = OpenSelf(k32);
  ASSERT_TRUE(self);

  const auto mbi = Query(k32, self.get(), at);
  ASSERT_TRUE(mbi);
  EXPECT_LE(mbi->BaseAddress, at);
  EXPECT_GT(std::uint64_t{mbi->BaseAddress} + mbi->RegionSize, at + bytes.size() - 1);
  EXPECT_EQ(mbi->BaseAddress % 4096, 0u);
  EXPECT_LE(mbi->AllocationBase, mbi->BaseAddress);
  EXPECT_EQ(mbi->State, rec::kMemCommit);

  std::string back(bytes.size(), '\0');
  std::size_t got = 0;
  ASSERT_TRUE(k32.ReadProcessMemory(self.get(), at, std::as_writable_bytes(std::span(back)), got));
  EXPECT_EQ(got, bytes.size());
  EXPECT_EQ(back, bytes);
}

TEST_P(ProcessMemory, QueriesAndReadsFailAsWindowsFailsThem) {
  const std::uint64_t at = B().MakeMemory("x");
  auto& k32 = P().kernel32;
  const KernelHandle self = OpenSelf(k32);
  ASSERT_TRUE(self);
  Kernel32::SystemInfo info;
  k32.GetSystemInfo(info);

  std::byte small[sizeof(rec::MEMORY_BASIC_INFORMATION) - 1];
  EXPECT_EQ(k32.VirtualQueryEx(self.get(), at, small), 0u);
  EXPECT_EQ(k32.GetLastError(), ERROR_BAD_LENGTH);
  std::byte buffer[sizeof(rec::MEMORY_BASIC_INFORMATION)];
  EXPECT_EQ(k32.VirtualQueryEx(self.get(), info.maximumApplicationAddress + 1, buffer), 0u);
  EXPECT_EQ(k32.GetLastError(), ERROR_INVALID_PARAMETER);

  // The first page is never mapped.
  std::byte out[16];
  std::size_t got = 99;
  EXPECT_FALSE(k32.ReadProcessMemory(self.get(), 0x100, out, got));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(k32.GetLastError(), Expected().unmappedReadError);

  // A handle without the read right queries but does not read.
  const KernelHandle queryOnly = OpenSelf(k32, PROCESS_QUERY_INFORMATION);
  ASSERT_TRUE(queryOnly);
  EXPECT_TRUE(Query(k32, queryOnly.get(), at));
  EXPECT_FALSE(k32.ReadProcessMemory(queryOnly.get(), at, std::span(out, 1), got));
  EXPECT_EQ(k32.GetLastError(), ERROR_ACCESS_DENIED);
}

// A read that runs from readable memory into free addresses: Windows refuses the whole read,
// so a reader that compares memory with a file learns the range is not all there. Wine reads
// the free addresses as zeros, which a reader must not mistake for the process's bytes.
TEST_P(ProcessMemory, AReadIntoFreeAddressesFailsWhole) {
  B().MakeMemory("readable bytes before free addresses");
  auto& k32 = P().kernel32;
  const KernelHandle self = OpenSelf(k32);
  ASSERT_TRUE(self);
  Kernel32::SystemInfo info;
  k32.GetSystemInfo(info);
  // The first committed, readable region that free addresses follow.
  std::uint64_t end = 0;
  for (std::uint64_t a = info.minimumApplicationAddress; a <= info.maximumApplicationAddress && end == 0;) {
    const auto mbi = Query(k32, self.get(), a);
    ASSERT_TRUE(mbi) << std::hex << a;
    const std::uint64_t next = std::uint64_t{mbi->BaseAddress} + mbi->RegionSize;
    ASSERT_GT(next, a);
    constexpr std::uint32_t kWriteCopy = 0x08, kExecuteRead = 0x20, kExecuteReadWrite = 0x40, kGuard = 0x100;
    const bool readable = (mbi->Protect & (rec::kPageReadOnly | rec::kPageReadWrite | kWriteCopy |
                                           kExecuteRead | kExecuteReadWrite)) != 0 &&
                          (mbi->Protect & kGuard) == 0;
    const auto after = Query(k32, self.get(), next);
    if (mbi->State == rec::kMemCommit && readable && after && after->State == rec::kMemFree) end = next;
    a = next;
  }
  ASSERT_NE(end, 0u) << "no committed region is followed by free addresses";

  std::byte out[32];
  std::size_t got = 0;
  EXPECT_TRUE(k32.ReadProcessMemory(self.get(), end - 16, std::span(out, 16), got));
  EXPECT_EQ(got, 16u);
  for (const std::uint64_t at : {end - 16, end}) {
    SCOPED_TRACE(at == end ? "free addresses only" : "the region's last bytes and free addresses");
    const bool ok = k32.ReadProcessMemory(self.get(), at, out, got);
    EXPECT_EQ(ok, Expected().freeMemoryReads);
    if (!ok) {
      EXPECT_EQ(k32.GetLastError(), ERROR_PARTIAL_COPY);
    }
  }
}

// The walk the memory dump makes: from the lowest address up, region by region, the main
// module's image is found as the regions allocated at its base.
TEST_P(ProcessMemory, TheWalkFindsTheMainImageAtItsModuleBase) {
  auto& k32 = P().kernel32;
  auto& th = P().toolhelp;
  const DWORD pid = k32.GetCurrentProcessId();
  const KernelFileHandle snap(th.CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
  ASSERT_TRUE(snap);
  rec::ModuleEntry32 first{};
  first.dwSize = sizeof first;
  ASSERT_TRUE(th.Module32First(snap.get(), first));
  const std::uint64_t base = first.modBaseAddr;

  const KernelHandle self = OpenSelf(k32);
  ASSERT_TRUE(self);
  Kernel32::SystemInfo info;
  k32.GetSystemInfo(info);
  std::uint64_t imageBytes = 0;
  std::string head(2, '\0');
  for (std::uint64_t a = info.minimumApplicationAddress; a <= info.maximumApplicationAddress;) {
    const auto mbi = Query(k32, self.get(), a);
    ASSERT_TRUE(mbi) << std::hex << a;
    if (mbi->AllocationBase == base) {
      EXPECT_EQ(mbi->Type, rec::kMemImage);
      if (imageBytes == 0) {
        std::size_t got = 0;
        EXPECT_TRUE(k32.ReadProcessMemory(self.get(), mbi->BaseAddress,
                                          std::as_writable_bytes(std::span(head)), got));
      }
      imageBytes += mbi->RegionSize;
    }
    const std::uint64_t next = std::uint64_t{mbi->BaseAddress} + mbi->RegionSize;
    ASSERT_GT(next, a);
    a = next;
  }
  EXPECT_GT(imageBytes, 0u);
  EXPECT_EQ(head, "MZ");
}

}  // namespace
}  // namespace conformance
