// The Win32 view of folders: a search over one or more masks through FindFirstFile/FindNextFile.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/kernel32.h"

namespace files {

using TSearchRec = platform::Kernel32::FindDataA;

class TFileFinder {
 public:
  std::string Masks;
  bool Recursive = true;
  bool FullPaths = true;
  bool RelativePaths = false;
  bool Running = false;
  bool StopRequested = false;
  std::int64_t FilesFound = 0;
  std::int64_t FoldersFound = 0;
  double StartTime = 0.0, EndTime = 0.0;

  std::function<void(const std::string&, const TSearchRec&)> OnFileFound;
  std::function<void(const std::string&, const TSearchRec&)> OnFolderFound;
  std::function<void(const std::string&)> OnFolderScan;
  std::function<void(double, std::int64_t, std::int64_t)> OnFinished;
  std::function<void(const std::string&)> OnLog;

  // Runs the whole search on the calling thread.
  void Start();

 private:
  void Log(const std::string& text) const {
    if (OnLog) OnLog(text);
  }
  void ScanFolder(const std::string& mask);
  std::deque<std::string> queue_;
  std::string base_;
  bool hasBase_ = false;
};

// Appends the Win32 listing of `mask` to `target`: the collected files, then the folders.
void ListFolder(const std::string& mask, std::vector<std::string>& target, bool files, bool relativePaths,
                bool recursive, bool fullPaths, bool folders);

}  // namespace files
