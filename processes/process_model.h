// The process model: a refreshable list of the running processes as log items, and the handle collection.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"
#include "results/log_items.h"

namespace processes {

class TjtProcessItem;

class TjtHandleItem {
 public:
  std::uint8_t Flags = 0;
  std::uint32_t GrantedAccess = 0;
  std::uint32_t Handle = 0;
  std::string Name;
  std::uint16_t ObjectTypeNumber = 0;
  std::uint32_t ProcessID = 0;
  std::uintptr_t ObjectPointer = 0;
};

// Every handle of the system (or of one process), from the handle enumeration.
class TjtHandleCollection {
 public:
  TjtHandleCollection();
  // Empties the collection and fills it from one walk of the handle table, keeping only the
  // handles of `processId` when `filterByProcess`, and only named ones when `namedOnly`.
  void Refresh(bool filterByProcess, bool namedOnly, std::uint32_t processId);
  void SortByProcessID();
  std::size_t Count() const { return Items_.size(); }
  const TjtHandleItem& GetItem(std::size_t index) const { return Items_.at(index); }

 private:
  void AddHandle(std::uint32_t processId, std::uint16_t objectTypeNumber, std::uint8_t flags,
                 std::uint32_t handle, std::uintptr_t objectPointer, std::uint32_t grantedAccess,
                 const std::string& name);
  std::vector<TjtHandleItem> Items_;
  bool FilterByProcess_ = false;
  std::uint32_t ProcessID_ = 0;
  bool NamedOnly_ = false;
  platform::OsVersionInfo VersionInfo_;
};

class TjtModuleItem : public results::TSystemLogItem {
 public:
  std::uint32_t ModuleID = 0, ProcessID = 0, GlobalCountUsage = 0, ProcessCountUsage = 0, ModuleBaseAddr = 0,
                ModuleBaseSize = 0, ModuleHandle = 0;
  std::string GetCompleteFilename() override;
  void Assign(const TjtModuleItem& source);

 private:
  std::string completeFilename_;
};

class TjtModuleList : public results::TSystemLogCollection {
 public:
  explicit TjtModuleList(TjtProcessItem* owner) : Owner(owner) {}
  TjtProcessItem* Owner;

 protected:
  std::unique_ptr<results::TSystemLogItem> NewItem() override { return std::make_unique<TjtModuleItem>(); }
};

class TjtProcessItem : public results::TSystemLogItem {
 public:
  TjtProcessItem() : ModuleList(this) {}

  std::uint32_t ProcessID = 0;
  std::uint32_t ParentID = 0;
  std::uint32_t DefaultHeapID = 0;
  std::uint32_t ModuleID = 0;
  std::uint32_t Threads = 0;
  std::uint32_t Usage = 0;
  std::int32_t StateIndex = 0;  // 0 seen in the last refresh, 1 not (yet) seen in this one
  std::uint32_t GUIResourcesGDI = 0, GUIResourcesUser = 0;
  std::string FileCompany, FileDescription, FileVersion, FileMD5, FileHint;
  std::int32_t Tag = 0, Tag2 = 0;
  TjtModuleList ModuleList;
  TjtHandleCollection HandleList;

  std::string GetCompleteFilename() override;
  void AddDescriptionLines(std::vector<std::string>& lines) override;
  void AddFileNames(std::vector<std::string>& list) override;
  void Assign(const TjtProcessItem& source);

 private:
  std::string completeFilename_;
};

using TOnProcessStarted = std::function<void(TjtProcessItem& Item)>;
using TOnProcessGone = std::function<void(TjtProcessItem& Item)>;

class TjtProcessList : public results::TSystemLogCollection {
 public:
  bool ShowUnnamedHandles = true;
  bool AlwaysFullInformation = false;
  TOnProcessGone OnProcessGone;
  TOnProcessStarted OnProcessStarted;

  // Brings the list up to date: processes listed by EnumProcesses that can be opened, then
  // (with full information, on WOW64, or outside the NT family) the ToolHelp process snapshot.
  void Refresh();
  TjtProcessItem& FindOrAdd(std::uint32_t processId, bool& isNew);
  TjtProcessItem* FindByPID(std::uint32_t processId);
  TjtProcessItem& GetItem(std::size_t index) { return static_cast<TjtProcessItem&>(Item(index)); }
  // Adds an item for every "PID:" line of a stored text.
  void ReadFromLines(const std::vector<std::string>& lines) override;

 protected:
  std::unique_ptr<results::TSystemLogItem> NewItem() override { return std::make_unique<TjtProcessItem>(); }

 private:
  void ToolHelpPass();
};

// The full path of a stored process or module file name: the name itself when such a file
// exists; else the file a "rundll32 x.dll,Entry" command runs, or the name with its system
// prefixes removed, looked for in the Windows, system and program-files folders.
std::string ResolveProcessFileName(std::string_view stored);

}  // namespace processes
