// Loads a process's image names and its own threads, modules and heaps.
#include "processes/process_details.h"

#include <array>

#include "platform/handles.h"
#include "platform/platform.h"
#include "processes/snapshots.h"

namespace processes {
namespace {

constexpr std::size_t kNameBuffer = 261;

// The wide answer where there is one, else the 8-bit one converted.
template <typename Wide, typename Narrow>
std::u16string ReadName(Wide wide, Narrow narrow) {
  std::array<char16_t, kNameBuffer> w{};
  if (const platform::DWORD n = wide(std::span(w)); n > 0)
    return std::u16string(w.data(), std::min<std::size_t>(n, w.size()));
  std::array<char, kNameBuffer> a{};
  const platform::DWORD n = narrow(std::span(a));
  return platform::Current().kernel32.MultiByteToWideChar(
      platform::CP_ACP, std::string_view(a.data(), std::min<std::size_t>(n, a.size())));
}

}  // namespace

TProcessDetails LoadProcessDetails(std::uint32_t processId) {
  auto& k32 = platform::Current().kernel32;
  auto& th = platform::Current().toolhelp;
  TProcessDetails d;
  d.ProcessID = processId;
  if (const platform::KernelHandle process(
          k32.OpenProcess(platform::PROCESS_QUERY_INFORMATION | platform::PROCESS_VM_READ, false, processId));
      process) {
    d.Opened = true;
    const platform::Handle h = process.get();
    if (th.HasGetProcessImageFileName())
      d.NativeImageName = ReadName([&](std::span<char16_t> b) { return th.GetProcessImageFileNameW(h, b); },
                                   [&](std::span<char> b) { return th.GetProcessImageFileNameA(h, b); });
    d.ImageName = ReadName([&](std::span<char16_t> b) { return th.GetModuleFileNameExW(h, 0, b); },
                           [&](std::span<char> b) { return th.GetModuleFileNameExA(h, 0, b); });
  }
  TSnapshotListTH32Simple snap;
  d.SnapshotTaken = snap.TakeSnapshot(processId, false, true, true, true);
  // A process that refuses the module snapshot still shows the threads it owns.
  if (!d.SnapshotTaken) snap.ThreadList.TakeSnapshot();
  platform::records::ThreadEntry32 t{};
  for (std::size_t i = 0; i < snap.ThreadList.Count(); ++i) {
    snap.ThreadList.GetItem(i, t);
    if (t.th32OwnerProcessID == processId) d.Threads.push_back(t);
  }
  d.Modules.resize(snap.ModuleList.Count());
  for (std::size_t i = 0; i < d.Modules.size(); ++i) snap.ModuleList.GetItem(i, d.Modules[i]);
  d.Heaps.resize(snap.HeapList.Count());
  for (std::size_t i = 0; i < d.Heaps.size(); ++i) snap.HeapList.GetItem(i, d.Heaps[i]);
  return d;
}

}  // namespace processes
