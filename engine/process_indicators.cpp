// Invisible processes from the handle table and from the thread snapshot, against the process list.
#include "engine/process_indicators.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/platform.h"
#include "processes/handle_enumerator.h"
#include "processes/process_model.h"
#include "processes/process_names.h"
#include "processes/snapshots.h"

namespace engine {
namespace {

// The reference list: EnumProcesses completed with the ToolHelp process snapshot.
std::unique_ptr<processes::TjtProcessList> ReferenceList() {
  auto list = std::make_unique<processes::TjtProcessList>();
  list->AlwaysFullInformation = true;
  list->Refresh();
  return list;
}

std::u16string Wide(std::string_view text) {
  return platform::Current().kernel32.MultiByteToWideChar(platform::CP_ACP, text);
}

// The owner IDs of the handle table as it is now (no names looked up).
std::vector<std::uint32_t> CurrentHandleOwners() {
  auto table = processes::ReadHandleTable(platform::SystemExtendedHandleInformation, nullptr);
  if (!table) table = processes::ReadHandleTable(platform::SystemHandleInformation, nullptr);
  std::vector<std::uint32_t> ids;
  if (table)
    for (const auto& e : *table) ids.push_back(e.ProcessID);
  return ids;
}

std::vector<std::uint32_t> CurrentThreadOwners() {
  processes::TThreadListTH32Simple threads;
  processes::TProcessIDArray ids;
  if (threads.TakeSnapshot()) threads.GetOwnerProcessIDs(ids);
  return ids;
}

// A process that ended between the first view and the process list is missing from the list
// without hiding: only IDs that still own something when looked at again are reported.
std::vector<std::uint32_t> StillOwning(std::vector<std::uint32_t> missing,
                                       const std::vector<std::uint32_t>& ownersNow) {
  std::erase_if(missing, [&](std::uint32_t id) {
    return std::find(ownersNow.begin(), ownersNow.end(), id) == ownersNow.end();
  });
  return missing;
}

std::string Details(std::size_t ids, std::size_t processes, const char* what) {
  char text[128];
  if (ids == processes)
    std::snprintf(text, sizeof text, "%zu processes tested.", processes);
  else
    std::snprintf(text, sizeof text, "%zu %s process IDs for %zu processes.", ids, what, processes);
  return text;
}

}  // namespace

void TRootKitIndicatorHandleProcesses::RunTest() {
  TRootKitIndicator::RunTest();
  processes::TjtHandleCollection handles;
  handles.Refresh(false, false, 0);
  std::vector<std::uint32_t> ids;
  if (handles.Count() > 0) {
    handles.SortByProcessID();
    ids.push_back(handles.GetItem(0).ProcessID);
    for (std::size_t i = 1; i < handles.Count(); ++i)
      if (handles.GetItem(i).ProcessID != handles.GetItem(i - 1).ProcessID)
        ids.push_back(handles.GetItem(i).ProcessID);
  }
  const auto list = ReferenceList();
  std::vector<std::uint32_t> missing;
  for (const std::uint32_t id : ids)
    if (list->FindByPID(id) == nullptr) missing.push_back(id);
  if (!missing.empty()) missing = StillOwning(std::move(missing), CurrentHandleOwners());
  for (const std::uint32_t id : missing) AddResult(Wide(std::to_string(id)), kKindProcess);
  if (State_ == kStateNotRun) State_ = kStateNothingFound;
  if (!Results_.empty()) State_ = kStateFound;
  DetailsText_ = Details(ids.size(), list->Count(), "handle");
}

std::string TRootKitIndicatorHandleProcesses::ResultText() const {
  if (Results_.empty()) return "No hidden processes detected.";
  std::string text = "Hidden processes: ";
  for (std::size_t i = 0; i < Results_.size(); ++i) text += (i == 0 ? "" : ",") + Results_[i];
  return text;
}

void TRootKitIndicatorThreadProcesses::RunTest() {
  TRootKitIndicator::RunTest();
  const std::vector<std::uint32_t> ids = CurrentThreadOwners();
  const auto list = ReferenceList();
  std::vector<std::uint32_t> missing;
  for (const std::uint32_t id : ids)
    if (list->FindByPID(id) == nullptr) missing.push_back(id);
  if (!missing.empty()) missing = StillOwning(std::move(missing), CurrentThreadOwners());
  for (const std::uint32_t id : missing) {
    std::string name = processes::ProcessFileNameByID(id);
    if (const std::size_t cut = name.find_last_of("\\:"); cut != std::string::npos) name.erase(0, cut + 1);
    if (name.empty()) name = "?";
    AddResult(Wide(std::to_string(id) + ": " + name), kKindProcess);
    State_ = kStateFound;
  }
  if (State_ == kStateNotRun) State_ = kStateNothingFound;
  if (!Results_.empty()) State_ = kStateFound;
  DetailsText_ = Details(ids.size(), list->Count(), "thread");
}

std::string TRootKitIndicatorThreadProcesses::ResultText() const {
  if (Results_.empty()) return "No hidden processes detected.";
  std::string text = "Hidden processes: ";
  for (std::size_t i = 0; i < Results_.size(); ++i)
    text += (i == 0 ? "" : ", ") + Results_[i].substr(0, Results_[i].find(':'));
  return text;
}

void RegisterProcessIndicators() {
  RegisterIndicator(IndicatorClassOf<TRootKitIndicatorHandleProcesses>("TRootKitIndicatorHandleProcesses"),
                    "description=Invisible processes (from handles)");
  RegisterIndicator(IndicatorClassOf<TRootKitIndicatorThreadProcesses>("TRootKitIndicatorThreadProcesses"),
                    "description=Invisible processes (from threads)");
}

}  // namespace engine
