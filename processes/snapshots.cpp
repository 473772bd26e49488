// Copies ToolHelp snapshots into record lists.
#include "processes/snapshots.h"

#include <algorithm>

#include "platform/handles.h"
#include "platform/platform.h"

namespace processes {
namespace {

using SnapshotHandle = platform::KernelFileHandle;

// The First/Next walk shared by the four lists.
template <typename Rec, typename First, typename Next>
void ReadAll(platform::Handle snapshot, std::vector<Rec>& out, First first, Next next) {
  auto& th = platform::Current().toolhelp;
  Rec entry{};
  entry.dwSize = sizeof(Rec);
  if (!(th.*first)(snapshot, entry)) return;
  do {
    out.push_back(entry);
  } while ((th.*next)(snapshot, entry));
}

SnapshotHandle Take(platform::DWORD flags, std::uint32_t processId) {
  return SnapshotHandle(platform::Current().toolhelp.CreateToolhelp32Snapshot(flags, processId));
}

}  // namespace

void TProcessListTH32Simple::ReadSnapshot(platform::Handle snapshot) {
  ReadAll(snapshot, Items, &platform::ToolHelp::Process32First, &platform::ToolHelp::Process32Next);
}

void TThreadListTH32Simple::ReadSnapshot(platform::Handle snapshot) {
  ReadAll(snapshot, Items_, &platform::ToolHelp::Thread32First, &platform::ToolHelp::Thread32Next);
}

void TModuleListTH32Simple::ReadSnapshot(platform::Handle snapshot) {
  ReadAll(snapshot, Items_, &platform::ToolHelp::Module32First, &platform::ToolHelp::Module32Next);
}

void THeapListTH32Simple::ReadSnapshot(platform::Handle snapshot) {
  ReadAll(snapshot, Items_, &platform::ToolHelp::Heap32ListFirst, &platform::ToolHelp::Heap32ListNext);
}

bool TThreadListTH32Simple::TakeSnapshot() {
  Clear();
  const SnapshotHandle snap = Take(platform::TH32CS_SNAPTHREAD, 0);
  if (!snap) return false;
  ReadSnapshot(snap.get());
  return true;
}

void TThreadListTH32Simple::GetOwnerProcessIDs(TProcessIDArray& ids) const {
  ids.clear();
  for (const auto& t : Items_)
    if (std::find(ids.begin(), ids.end(), t.th32OwnerProcessID) == ids.end())
      ids.push_back(t.th32OwnerProcessID);
}

bool TModuleListTH32Simple::TakeSnapshot(std::uint32_t processId) {
  Clear();
  const SnapshotHandle snap = Take(platform::TH32CS_SNAPMODULE, processId);
  if (!snap) return false;
  ReadSnapshot(snap.get());
  return true;
}

bool TSnapshotListTH32Simple::TakeSnapshot(std::uint32_t processId, bool processes, bool modules,
                                           bool threads, bool heaps) {
  ModuleList.Clear();
  ThreadList.Clear();
  HeapList.Clear();
  ProcessList.Clear();
  platform::DWORD flags = 0;
  if (processes) flags |= platform::TH32CS_SNAPPROCESS;
  if (modules) flags |= platform::TH32CS_SNAPMODULE;
  if (threads) flags |= platform::TH32CS_SNAPTHREAD;
  if (heaps) flags |= platform::TH32CS_SNAPHEAPLIST;
  const SnapshotHandle snap = Take(flags, processId);
  if (!snap) return false;
  if (processes) ProcessList.ReadSnapshot(snap.get());
  if (modules) ModuleList.ReadSnapshot(snap.get());
  if (threads) ThreadList.ReadSnapshot(snap.get());
  if (heaps) HeapList.ReadSnapshot(snap.get());
  return true;
}

}  // namespace processes
