// The process list's two passes with start and gone events, process items, and the handle collection.
#include "processes/process_model.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>

#include "base/md5.h"
#include "base/os_flags.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "processes/handle_enumerator.h"
#include "processes/process_names.h"
#include "processes/snapshots.h"

namespace processes {
namespace {

constexpr std::size_t kEnumProcessesIds = 4097;  // a 16388-byte buffer
constexpr std::size_t kNameBuffer = 261;

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

// The image path of a process in drive form, for the ToolHelp pass; "" on failure.
std::string ProcessImagePath(std::uint32_t processId) {
  return processes::HasProcessImageFileName() ? processes::ProcessFileNameByID(processId)
                                              : processes::ProcessModuleFileName(processId);
}

}  // namespace

// --- handles ---

TjtHandleCollection::TjtHandleCollection() { platform::Current().kernel32.GetVersionExA(VersionInfo_); }

void TjtHandleCollection::Refresh(bool filterByProcess, bool namedOnly, std::uint32_t processId) {
  FilterByProcess_ = filterByProcess;
  NamedOnly_ = namedOnly;
  ProcessID_ = processId;
  Items_.clear();
  TjtHandleEnumerator e;
  e.OnHandle = [this](std::uint32_t pid, std::uint16_t, std::uint16_t type, std::uint8_t flags,
                      std::uint32_t handle, std::uintptr_t object, std::uint32_t access,
                      const std::string& name) { AddHandle(pid, type, flags, handle, object, access, name); };
  e.Enumerate();
}

void TjtHandleCollection::AddHandle(std::uint32_t processId, std::uint16_t objectTypeNumber,
                                    std::uint8_t flags, std::uint32_t handle, std::uintptr_t objectPointer,
                                    std::uint32_t grantedAccess, const std::string& name) {
  if (FilterByProcess_ && processId != ProcessID_) return;
  if (NamedOnly_ && name.empty()) return;
  Items_.push_back({flags, grantedAccess, handle, name, objectTypeNumber, processId, objectPointer});
}

void TjtHandleCollection::SortByProcessID() {
  std::sort(Items_.begin(), Items_.end(),
            [](const TjtHandleItem& a, const TjtHandleItem& b) { return a.ProcessID < b.ProcessID; });
}

// --- items ---

std::string TjtModuleItem::GetCompleteFilename() {
  if (completeFilename_.empty()) completeFilename_ = ResolveProcessFileName(Filename);
  return completeFilename_;
}

void TjtModuleItem::Assign(const TjtModuleItem& s) {
  ModuleID = s.ModuleID;
  ProcessID = s.ProcessID;
  GlobalCountUsage = s.GlobalCountUsage;
  ProcessCountUsage = s.ProcessCountUsage;
  ModuleBaseAddr = s.ModuleBaseAddr;
  ModuleBaseSize = s.ModuleBaseSize;
  ModuleHandle = s.ModuleHandle;
  Filename = s.Filename;
}

std::string TjtProcessItem::GetCompleteFilename() {
  if (completeFilename_.empty()) completeFilename_ = ResolveProcessFileName(Filename);
  return completeFilename_;
}

void TjtProcessItem::AddDescriptionLines(std::vector<std::string>& lines) {
  char head[64];
  std::snprintf(head, sizeof head, "PID: %4u (%4u) ", ProcessID, ParentID);
  lines.push_back(head + Filename);
  if (const std::int64_t size = Filesize(); size > 0) lines.push_back(" size: " + std::to_string(size));
  if (!FileMD5.empty() && FileMD5 != base::kEmptyMD5) lines.push_back("  MD5: " + FileMD5);
}

void TjtProcessItem::AddFileNames(std::vector<std::string>& list) { list.push_back(CompleteFilename()); }

void TjtProcessItem::Assign(const TjtProcessItem& s) {
  DefaultHeapID = s.DefaultHeapID;
  Filename = s.Filename;
  GUIResourcesGDI = s.GUIResourcesGDI;
  GUIResourcesUser = s.GUIResourcesUser;
  ModuleID = s.ModuleID;
  ProcessID = s.ProcessID;
  ParentID = s.ParentID;
  StateIndex = s.StateIndex;
  Tag = s.Tag;
  Threads = s.Threads;
  Usage = s.Usage;
  FileCompany = s.FileCompany;
  FileDescription = s.FileDescription;
  FileVersion = s.FileVersion;
  FileMD5 = s.FileMD5;
  FileHint = s.FileHint;
}

// --- the list ---

TjtProcessItem& TjtProcessList::FindOrAdd(std::uint32_t processId, bool& isNew) {
  if (TjtProcessItem* item = FindByPID(processId)) {
    isNew = false;
    return *item;
  }
  isNew = true;
  auto& item = static_cast<TjtProcessItem&>(Add());
  item.ProcessID = processId;
  return item;
}

TjtProcessItem* TjtProcessList::FindByPID(std::uint32_t processId) {
  for (std::size_t i = 0; i < Count(); ++i)
    if (GetItem(i).ProcessID == processId) return &GetItem(i);
  return nullptr;
}

void TjtProcessList::Refresh() {
  auto& k32 = platform::Current().kernel32;
  auto& th = platform::Current().toolhelp;
  for (std::size_t i = 0; i < Count(); ++i) GetItem(i).StateIndex = 1;

  // Process-ID pass: what EnumProcesses lists and can be opened.
  std::vector<platform::DWORD> ids(kEnumProcessesIds);
  platform::DWORD bytes = 0;
  if (!th.EnumProcesses(ids, bytes)) bytes = 0;
  ids.resize(std::min<std::size_t>(bytes / sizeof(platform::DWORD), ids.size()));
  for (const platform::DWORD id : ids) {
    if (id == 0) continue;
    const platform::KernelHandle process(
        k32.OpenProcess(platform::PROCESS_QUERY_INFORMATION | platform::PROCESS_VM_READ, false, id));
    if (!process) continue;
    std::array<char, kNameBuffer> buf{};
    const platform::DWORD n = th.GetModuleFileNameExA(process.get(), 0, buf);
    bool isNew = false;
    TjtProcessItem* item;
    if (n > 0) {
      item = &FindOrAdd(id, isNew);
      item->Filename.assign(buf.data(), std::min<std::size_t>(n, buf.size()));
      item->ProcessID = id;
    } else {
      // Every process whose file cannot be read shares the one "[System]" item.
      item = &FindOrAdd(0, isNew);
      item->Filename = "[System]";
      item->ProcessID = 0;
    }
    item->DefaultHeapID = 0;
    item->ModuleID = 0;
    item->ParentID = 0;
    item->StateIndex = 0;
    item->Threads = 0;
    item->Usage = 0;
    if (isNew && OnProcessStarted) OnProcessStarted(*item);
  }

  bool wow64 = false;
  if (!k32.IsWow64Process(k32.GetCurrentProcess(), wow64)) wow64 = false;
  if (!base::IsNTFamily(base::GetOSFlags()) || AlwaysFullInformation || wow64) {
    try {
      ToolHelpPass();
    } catch (const std::exception& e) {
      k32.OutputDebugStringA(e.what());
    }
  }

  for (std::size_t i = Count(); i-- > 0;) {
    if (GetItem(i).StateIndex != 1) continue;
    if (OnProcessGone) OnProcessGone(GetItem(i));
    Delete(i);
  }
}

void TjtProcessList::ToolHelpPass() {
  TSnapshotListTH32Simple snap;
  if (!snap.TakeSnapshot(0, true, false, false, false)) return;
  for (const auto& e : snap.ProcessList.Items) {
    bool isNew = false;
    TjtProcessItem& item = FindOrAdd(e.th32ProcessID, isNew);
    if (item.Filename.empty())
      item.Filename.assign(e.szExeFile, std::find(std::begin(e.szExeFile), std::end(e.szExeFile), '\0'));
    const std::string image = ProcessImagePath(e.th32ProcessID);
    item.DefaultHeapID = static_cast<std::uint32_t>(e.th32DefaultHeapID);
    item.ModuleID = e.th32ModuleID;
    item.ParentID = e.th32ParentProcessID;
    item.Threads = e.cntThreads;
    item.Usage = e.cntUsage;
    item.StateIndex = 0;
    if (image.size() > item.Filename.size() && image.substr(1, 2) == ":\\") item.Filename = image;
    if (isNew && OnProcessStarted) OnProcessStarted(item);
  }
}

void TjtProcessList::ReadFromLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (line.rfind("PID:", 0) != 0) continue;
    std::string_view rest = line;
    if (const std::size_t close = rest.find(')'); close != std::string_view::npos)
      rest.remove_prefix(close + 1);
    auto& item = static_cast<TjtProcessItem&>(Add());
    item.Filename = Trim(rest);
  }
}

}  // namespace processes
