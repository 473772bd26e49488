// The Win32 file finder and the folder listing built on it.
#include "files/file_finder.h"

#include <chrono>

#include "platform/handles.h"

namespace files {

namespace {

double Now() {
  using namespace std::chrono;
  const auto secs = duration_cast<duration<double>>(system_clock::now().time_since_epoch()).count();
  return 25569.0 + secs / 86400.0;  // days since 1899-12-30
}

// The name as a zero-terminated reader of the find record sees it.
std::string RecordName(const TSearchRec& r) { return r.fileName.substr(0, r.fileName.find('\0')); }

bool IsDots(const std::string& name) { return name == "." || name == ".."; }

}  // namespace

void TFileFinder::Start() {
  Log("TFileFinder.Start.0");
  Running = true;
  StartTime = Now();
  FilesFound = FoldersFound = 0;
  StopRequested = false;
  Log("TFileFinder.Start.1");
  queue_.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t semi = Masks.find(';', start);
    std::string piece = Masks.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
    if (!piece.empty() && piece.back() == '\\') piece += "*.*";
    Log("TFileFinder.Start.2");
    queue_.push_back(piece);
    Log("TFileFinder.Start.3");
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  hasBase_ = queue_.size() == 1;
  if (hasBase_) base_ = queue_.front().substr(0, queue_.front().rfind('\\') + 1);
  while (!queue_.empty() && !StopRequested) {
    const std::string mask = queue_.front();
    if (OnFolderScan) OnFolderScan(mask);
    ScanFolder(mask);
    queue_.pop_front();
  }
  EndTime = Now();
  Running = false;
  StopRequested = false;
  if (OnFinished) OnFinished(EndTime - StartTime, FilesFound, FoldersFound);
}

void TFileFinder::ScanFolder(const std::string& mask) {
  auto& k32 = platform::Current().kernel32;
  const std::size_t slash = mask.rfind('\\');
  const std::string folder = slash == std::string::npos ? "" : mask.substr(0, slash + 1);
  const std::string namePart = slash == std::string::npos ? mask : mask.substr(slash + 1);

  Log("TFileFinder.ScanFolder(" + mask + "): file scan started");
  TSearchRec rec;
  {
    platform::FindHandle find(k32.FindFirstFileA(mask, rec));
    for (bool more = static_cast<bool>(find); more; more = k32.FindNextFileA(find.get(), rec)) {
      const std::string name = RecordName(rec);
      Log("TFileFinder.ScanFolder(" + mask + "): file scan found " + name);
      if (StopRequested) {
        Running = false;
        return;
      }
      if (IsDots(name)) continue;
      const std::string path = folder + name;
      if ((rec.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ++FoldersFound;
        if (OnFolderFound) OnFolderFound(FullPaths ? path : name, rec);
      } else {
        std::string text = name;
        if (FullPaths)
          text = path;
        else if (RelativePaths && hasBase_ && path.compare(0, base_.size(), base_) == 0)
          text = path.substr(base_.size());
        ++FilesFound;
        if (OnFileFound) OnFileFound(text, rec);
      }
    }
  }
  Log("TFileFinder.ScanFolder(" + mask + "): folder scan started");
  if (!Recursive) return;
  platform::FindHandle find(k32.FindFirstFileA(folder + "*.*", rec));
  for (bool more = static_cast<bool>(find); more && !StopRequested;
       more = k32.FindNextFileA(find.get(), rec)) {
    const std::string name = RecordName(rec);
    if ((rec.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsDots(name))
      queue_.push_back(folder + name + "\\" + namePart);
  }
}

void ListFolder(const std::string& mask, std::vector<std::string>& target, bool files, bool relativePaths,
                bool recursive, bool fullPaths, bool folders) {
  std::vector<std::string> foundFiles, foundFolders;
  TFileFinder finder;
  finder.Masks = mask;
  finder.Recursive = recursive;
  finder.FullPaths = fullPaths;
  finder.RelativePaths = relativePaths;
  if (files) finder.OnFileFound = [&](const std::string& t, const TSearchRec&) { foundFiles.push_back(t); };
  if (folders)
    finder.OnFolderFound = [&](const std::string& t, const TSearchRec&) { foundFolders.push_back(t); };
  finder.Start();
  target.insert(target.end(), foundFiles.begin(), foundFiles.end());
  target.insert(target.end(), foundFolders.begin(), foundFolders.end());
}

}  // namespace files
