// Process control: the basic-information query and the rights that querying and ending need.
#include <gtest/gtest.h>

#include <vector>

#include "platform/handles.h"
#include "platform/records.h"
#include "tests/conformance/backend.h"
#include "tests/conformance/buffers.h"

namespace conformance {
namespace {

using namespace platform;
namespace rec = platform::records;

CONFORMANCE_SUITE(ProcessControl);

TEST_P(ProcessControl, BasicInformationNamesTheProcessAndItsEnvironmentBlock) {
  auto& p = P();
  const DWORD self = p.kernel32.GetCurrentProcessId();
  const KernelHandle process(
      p.kernel32.OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, false, self));
  ASSERT_TRUE(process);
  std::vector<std::byte> info(sizeof(rec::PROCESS_BASIC_INFORMATION));
  DWORD length = 0;
  ASSERT_EQ(p.ntdll.NtQueryInformationProcess(process.get(), ProcessBasicInformation, info, length),
            STATUS_SUCCESS);
  EXPECT_EQ(length, sizeof(rec::PROCESS_BASIC_INFORMATION));
  EXPECT_EQ(Field<std::uintptr_t>(info, offsetof(rec::PROCESS_BASIC_INFORMATION, UniqueProcessId)), self);
  EXPECT_NE(Field<std::uintptr_t>(info, offsetof(rec::PROCESS_BASIC_INFORMATION, PebBaseAddress)), 0u);
  EXPECT_EQ(Field<std::int32_t>(info, offsetof(rec::PROCESS_BASIC_INFORMATION, ExitStatus)),
            static_cast<std::int32_t>(STATUS_PENDING))
      << "a running process has no exit status yet";

  // The class has exactly one size.
  std::vector<std::byte> shorter(info.size() - 1), longer(info.size() + 8);
  EXPECT_EQ(p.ntdll.NtQueryInformationProcess(process.get(), ProcessBasicInformation, shorter, length),
            STATUS_INFO_LENGTH_MISMATCH);
  EXPECT_EQ(p.ntdll.NtQueryInformationProcess(process.get(), ProcessBasicInformation, longer, length),
            STATUS_INFO_LENGTH_MISMATCH);
}

// Each call checks the right it needs on the handle: a handle that may only be ended cannot be
// queried, one that may only be queried cannot end the process (so this test survives it).
TEST_P(ProcessControl, EachCallNeedsItsOwnRight) {
  auto& p = P();
  const DWORD self = p.kernel32.GetCurrentProcessId();
  const KernelHandle endOnly(p.kernel32.OpenProcess(PROCESS_TERMINATE, false, self));
  ASSERT_TRUE(endOnly);
  std::vector<std::byte> info(sizeof(rec::PROCESS_BASIC_INFORMATION));
  DWORD length = 0;
  EXPECT_EQ(p.ntdll.NtQueryInformationProcess(endOnly.get(), ProcessBasicInformation, info, length),
            STATUS_ACCESS_DENIED);
  const KernelHandle queryOnly(p.kernel32.OpenProcess(PROCESS_QUERY_INFORMATION, false, self));
  ASSERT_TRUE(queryOnly);
  EXPECT_FALSE(p.kernel32.TerminateProcess(queryOnly.get(), 0));
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_ACCESS_DENIED);
}

}  // namespace
}  // namespace conformance
