// The pack action over the Deep Scan rows: what the desktop program's "Pack Suspicious Files"
// and the console's pack command call.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/deep_scan.h"
#include "archive/new_cab_archive.h"

namespace app {

// No archive was written; the message says why.
class PackError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the archive goes.
struct TPackPlace {
  // A folder of the scanned machine, ending in "\" (system code page); empty: the desktop.
  std::string folder;
  // Whether a file name is taken somewhere else as well (a folder the archive is copied to
  // afterwards), so that the numbered name chosen is free there too.
  std::function<bool(const std::string& fileName)> nameTaken;
};

struct TPackResult {
  std::string archivePath;                    // full path on the scanned machine (system code page)
  std::string fileName;                       // its file-name part
  std::string message;                        // the information message shown once the archive is written
  std::vector<archive::TPackEntry> notAdded;  // in log order
  std::vector<std::string> logLines;
};

// The third header line of every archive log.
inline constexpr std::string_view kPackNotice =
    "This archive may hold harmful files: open them only to analyse them, never to run them.";

// "Your log and files have been saved as NAME on your desktop.", or "... in FOLDER." for a
// folder that is not the desktop.
std::string PackMessage(std::string_view fileName, std::string_view folder = {});

// The archive's time stamp "yyyy-mm-dd_hh_nn" and the log's "yyyy-mm-dd hh:nn:ss".
std::string ArchiveTimeStamp(const platform::SystemTime& t);
std::string LogTimeText(const platform::SystemTime& t);

// The whole of a file of the scanned machine (the archive, before it is copied out of a simulated
// machine); nothing, with the system's reason in `reason`, when it cannot be read to its end.
std::optional<std::string> ReadMachineFile(const std::string& path, std::string& reason);

// Packs what the rows name into "requested-files[yyyy-mm-dd_hh_nn].cab" (then "-2", "-3", ...
// when the name is taken): folder rows give their files, file rows the file or stream, key and
// value rows a registry export. Throws PackError when no archive could be written.
TPackResult PackSuspiciousFiles(const std::vector<TDeepScanRow>& rows, const TPackPlace& place = {});

}  // namespace app
