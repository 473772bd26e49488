// Invisible processes from the handle table and from the thread snapshot, against the process list.
#include "engine/process_indicators.h"

#include <cstdio>
#include <vector>

#include "engine/process_names.h"
#include "processes/process_model.h"
#include "processes/snapshots.h"
#include "platform/platform.h"

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
      if (handles.GetItem(i).ProcessID != handles.GetItem(i - 1).ProcessID) ids.push_back(handles.GetItem(i).ProcessID);
  }
  const auto list = ReferenceList();
  for (const std::uint32_t id : ids)
    if (list->FindByPID(id) == nullptr) AddResult(Wide(std::to_string(id)), kKindProcess);
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
  processes::TThreadListTH32Simple threads;
  processes::TProcessIDArray ids;
  if (threads.TakeSnapshot()) threads.GetOwnerProcessIDs(ids);
  const auto list = ReferenceList();
  for (const std::uint32_t id : ids) {
    if (list->FindByPID(id) != nullptr) continue;
    std::string name = ProcessFileNameByID(id);
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
