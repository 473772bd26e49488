// The hidden-files indicator: a case-folded hash look-up of every native name in the Win32 list.
#include "engine/nt_files_indicator.h"

#include <vector>

#include "base/names.h"
#include "base/reserved_names.h"
#include "files/file_finder.h"
#include "files/file_list.h"
#include "platform/platform.h"
#include "results/path_macros.h"

namespace engine {

void TRootKitIndicatorNTFiles::RunTest() {
  TRootKitIndicator::RunTest();
  auto& k32 = platform::Current().kernel32;
  const std::string folder = results::ExpandPathMacros(FilePath());
  const std::u16string wideFolder = k32.MultiByteToWideChar(platform::CP_ACP, folder);

  // The Win32 view: file names, then folder names, each in find order.
  std::vector<std::string> win32Files, win32Folders;
  {
    files::TFileFinder finder;
    finder.Masks = folder + "*.*";
    finder.Recursive = false;
    finder.FullPaths = false;
    finder.OnFileFound = [&](const std::string& t, const files::TSearchRec&) { win32Files.push_back(t); };
    finder.OnFolderFound = [&](const std::string& t, const files::TSearchRec&) { win32Folders.push_back(t); };
    finder.Start();
  }
  const std::size_t fileCount = win32Files.size();
  std::vector<std::string> win32 = std::move(win32Files);
  win32.insert(win32.end(), std::make_move_iterator(win32Folders.begin()),
               std::make_move_iterator(win32Folders.end()));
  Win32Count = static_cast<std::int32_t>(win32.size());
  NativeCount = 0;

  if (IsNTFamily()) {
    files::TNTFileEnumerator native;
    native.InformationLevel = 1;
    native.IncludeDotEntries = false;
    native.Enumerate(wideFolder);
    NativeCount = static_cast<std::int32_t>(native.Count());
    // Names are compared as 8-bit texts in the system code page, ignoring case.
    base::FoldedNameSet known;
    known.Reserve(win32.size());
    for (const std::string& name : win32) known.Add(name);
    for (std::size_t i = 0; i < native.Count(); ++i) {
      const files::TFileListEntry& e = native.Entries[i];
      if (known.Contains(k32.WideCharToMultiByte(platform::CP_ACP, e.Name))) continue;
      State_ = kStateFound;
      AddResult(wideFolder + e.Name, (e.Attributes & 0x10) != 0 ? kKindFolder : kKindFile);
    }
  }

  for (std::size_t i = 0; i < win32.size(); ++i) {
    if (!base::IsReservedDeviceName(std::string_view(win32[i]))) continue;
    State_ = kStateFound;
    AddResult(k32.MultiByteToWideChar(platform::CP_ACP, folder + win32[i]),
              i >= fileCount ? kKindFolder : kKindFile);
  }
  if (State_ == kStateNotRun) State_ = kStateNothingFound;
  if (NativeCount != Win32Count && NativeCount > 0) State_ = kStateFound;
  DetailsText_ = std::to_string(NativeCount) + " files were tested.";
}

std::string TRootKitIndicatorNTFiles::ResultText() const {
  return ResultNamesText("No hidden files detected.", "Hidden files: ");
}

}  // namespace engine
