// ToolHelp snapshot lists: processes, threads, modules and heaps copied out of one snapshot.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/records.h"
#include "platform/types.h"

namespace processes {

using TProcessIDArray = std::vector<std::uint32_t>;

// Each list keeps the snapshot's records whole, in the order the snapshot delivers them, so
// they can be read after the snapshot is closed.
class TProcessListTH32Simple {
 public:
  void Clear() { Items.clear(); }
  // Appends every entry of the snapshot (nothing when the first entry cannot be read).
  void ReadSnapshot(platform::Handle snapshot);
  std::vector<platform::records::ProcessEntry32> Items;  // read directly by its users
};

class TThreadListTH32Simple {
 public:
  void Clear() { Items_.clear(); }
  std::size_t Count() const { return Items_.size(); }
  void GetItem(std::size_t index, platform::records::ThreadEntry32& out) const { out = Items_[index]; }
  void ReadSnapshot(platform::Handle snapshot);
  // A snapshot of every thread of the system; false when it cannot be taken.
  bool TakeSnapshot();
  // The distinct owner process IDs, in order of first appearance.
  void GetOwnerProcessIDs(TProcessIDArray& ids) const;

 private:
  std::vector<platform::records::ThreadEntry32> Items_;
};

class TModuleListTH32Simple {
 public:
  void Clear() { Items_.clear(); }
  std::size_t Count() const { return Items_.size(); }
  void GetItem(std::size_t index, platform::records::ModuleEntry32& out) const { out = Items_[index]; }
  void ReadSnapshot(platform::Handle snapshot);
  bool TakeSnapshot(std::uint32_t processId);

 private:
  std::vector<platform::records::ModuleEntry32> Items_;
};

class THeapListTH32Simple {
 public:
  void Clear() { Items_.clear(); }
  std::size_t Count() const { return Items_.size(); }
  void GetItem(std::size_t index, platform::records::HeapList32& out) const { out = Items_[index]; }
  void ReadSnapshot(platform::Handle snapshot);

 private:
  std::vector<platform::records::HeapList32> Items_;
};

// One snapshot filling any chosen subset of the four lists.
class TSnapshotListTH32Simple {
 public:
  // Clears all four lists, takes one snapshot of the selected kinds for `processId` and reads
  // them in the order processes, modules, threads, heaps. False when the snapshot fails.
  bool TakeSnapshot(std::uint32_t processId, bool processes, bool modules, bool threads, bool heaps);

  TModuleListTH32Simple ModuleList;
  TThreadListTH32Simple ThreadList;
  THeapListTH32Simple HeapList;
  TProcessListTH32Simple ProcessList;
};

}  // namespace processes
