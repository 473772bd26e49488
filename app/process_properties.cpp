// Process properties: the details, the debug flag and session from the environment block, ending it.
#include "app/process_properties.h"

#include <vector>

#include "base/security_text.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/record_io.h"
#include "platform/records.h"

namespace app {
namespace {
namespace rec = platform::records;

// Asks the process for its basic information and reads the two facts from its environment block.
void LoadEnvironmentFacts(TProcessProperties& p, platform::Handle process) {
  auto& k32 = platform::Current().kernel32;
  std::vector<std::byte> info(sizeof(rec::PROCESS_BASIC_INFORMATION));
  platform::DWORD length = 0;
  if (platform::Current().ntdll.NtQueryInformationProcess(process, platform::ProcessBasicInformation, info,
                                                          length) != platform::STATUS_SUCCESS)
    return;
  p.BasicInformationRead = true;
  const auto address =
      rec::RecordReader(info).Get<std::uintptr_t>(offsetof(rec::PROCESS_BASIC_INFORMATION, PebBaseAddress));
  if (!address || *address == 0) return;
  std::vector<std::byte> block(sizeof(rec::PEB));
  std::size_t read = 0;
  // A block that cannot be read says nothing: its zero bytes are not "not debugged, session 0".
  if (!k32.ReadProcessMemory(process, *address, block, read)) return;
  const auto facts = ReadEnvironmentBlockFacts(std::span(block).first(std::min(read, block.size())));
  if (!facts) return;
  p.EnvironmentBlockRead = true;
  p.Debugged = facts->Debugged;
  p.SessionId = facts->SessionId;
  p.SessionKnown = true;
}

}  // namespace

std::optional<TEnvironmentBlockFacts> ReadEnvironmentBlockFacts(std::span<const std::byte> block) {
  const rec::RecordReader r(block);
  const auto debugged = r.Get<std::uint8_t>(offsetof(rec::PEB, BeingDebugged));
  const auto session = r.Get<std::uint32_t>(offsetof(rec::PEB, SessionId));
  if (!debugged || !session) return std::nullopt;
  return TEnvironmentBlockFacts{*debugged != 0, *session};
}

TProcessProperties LoadProcessProperties(std::uint32_t processId) {
  TProcessProperties p;
  p.Details = processes::LoadProcessDetails(processId);
  auto& k32 = platform::Current().kernel32;
  const platform::KernelHandle process(
      k32.OpenProcess(platform::PROCESS_QUERY_INFORMATION | platform::PROCESS_VM_READ, false, processId));
  if (process) LoadEnvironmentFacts(p, process.get());
  return p;
}

std::string DebuggedText(const TProcessProperties& p) {
  if (!p.EnvironmentBlockRead) return "?";
  return p.Debugged ? "Yes" : "No";
}

std::string SessionText(const TProcessProperties& p) {
  return p.SessionKnown ? std::to_string(p.SessionId) : "?";
}

TProcessTermination TerminateProcessById(std::uint32_t processId) {
  auto& k32 = platform::Current().kernel32;
  if (processId == 0) return {false, "process 0 is the system's idle process and cannot be ended"};
  if (processId == k32.GetCurrentProcessId()) return {false, "it is this program's own process"};
  const platform::KernelHandle process(k32.OpenProcess(platform::PROCESS_TERMINATE, false, processId));
  if (!process) return {false, "it cannot be opened: " + base::SystemErrorText(k32.GetLastError())};
  if (!k32.TerminateProcess(process.get(), 0))
    return {false, "it cannot be ended: " + base::SystemErrorText(k32.GetLastError())};
  return {true, {}};
}

}  // namespace app
