// The suspicious-file archive: requested files, a registry export and a log, in one cabinet.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "archive/cabinet_writer.h"
#include "platform/types.h"

namespace archive {

// What became of one file that a request named: added (itself, or its native copy) or not, why.
struct TPackEntry {
  std::string path;      // 8-bit, as the request resolved to it
  std::string copyPath;  // the native copy that went into the cabinet in its place, if any
  bool added = false;
  std::string reason;  // why it could not be added
};

// A stream file handler that remembers the last error code one of its operations gave, so a
// failed cabinet call can be explained by the file system's own message.
class TReportingFileHandler : public TStreamCabinetFileHandler {
 public:
  std::int32_t Open(const std::string& fileName, int openFlags, int permissionMode, int& error) override;
  std::uint32_t Read(std::int32_t handle, void* buffer, std::uint32_t count, int& error) override;
  std::uint32_t Write(std::int32_t handle, const void* buffer, std::uint32_t count, int& error) override;
  void ForgetError() { lastError_ = 0; }
  int LastError() const { return lastError_; }

 private:
  int lastError_ = 0;
};

class TNewCabArchive {
 public:
  TNewCabArchive();
  virtual ~TNewCabArchive();
  TNewCabArchive(const TNewCabArchive&) = delete;
  TNewCabArchive& operator=(const TNewCabArchive&) = delete;

  // The full path of the cabinet (8-bit). Pack may move on to "-2", "-3", ... (NumberedName)
  // when a file of that name appears while it writes; ArchiveName() then says which one.
  void SetArchiveName(std::string_view path);
  const std::string& ArchiveName() const { return archiveName_; }
  bool HasArchiveName() const { return hasName_; }

  std::vector<std::string>& HeaderLines() { return headerLines_; }
  // File paths and folder patterns ("C:\dir\*.*") to pack.
  std::vector<std::string>& Requests() { return requests_; }

  // Writes the cabinet: the requested files, then AddExtraContent, then the log. It is written
  // under a temporary name in the archive's folder and renamed only once complete, never over an
  // existing file. A file that cannot be added is logged and the next one follows; any other
  // failure throws, and then neither the cabinet nor its temporary files stay on the disk.
  void Pack();

  // Every file the requests resolved to, in order (filled by Pack).
  const std::vector<TPackEntry>& Entries() const { return entries_; }
  // The log as Pack saved it into the cabinet, one string a line.
  const std::vector<std::string>& LogLines() const { return log_; }

 protected:
  // Called after the requested files, before the log is added. Nothing here.
  virtual void AddExtraContent();
  // A new empty file of our own in the archive's folder, removed when Pack ends.
  std::string NewTemporaryFile(std::string_view prefix);
  // Adds a temporary file of our own under `nameInCabinet`; a failure throws.
  void AddOwnFile(const std::string& path, const std::string& nameInCabinet);
  std::string FolderPart() const;
  std::string FileNamePart() const;

 private:
  void AddRequest(const std::string& request);
  void AddRequestedFile(const std::string& file);
  void AddToCabinet(const std::string& source, const std::string& nameInCabinet);
  void FinishUnderFinalName(const std::string& temporaryCabinet);
  void RemoveTemporaryFiles();

  TReportingFileHandler fileHandler_;
  std::string archiveName_;
  bool hasName_ = false;
  std::vector<std::string> headerLines_;
  std::vector<std::string> requests_;
  TCabinetWriter writer_;  // its file handler is fileHandler_, cleared before it goes

  std::vector<std::string> log_;
  std::vector<TPackEntry> entries_;
  std::vector<std::string> temporaryFiles_;
};

class TNewCabArchiveWithRegistry : public TNewCabArchive {
 public:
  // Full key paths, hive name first ("HKEY_LOCAL_MACHINE\SOFTWARE\x").
  std::vector<std::string>& RegistryKeys() { return keys_; }
  // Full value paths: hive, key path, value name ("HKEY_LOCAL_MACHINE\SOFTWARE\x\name").
  std::vector<std::string>& RegistryValues() { return values_; }

 protected:
  // The registry-editor export of the keys (with their subkeys) and the values, as
  // archive name + ".reg", when there is any.
  void AddExtraContent() override;

 private:
  std::vector<std::string> keys_;
  std::vector<std::string> values_;
};

// "…\name.cab" for n = 1, "…\name-2.cab", "…\name-3.cab" for 2, 3 (before the last extension).
std::string NumberedName(std::string_view path, int n);

// The name of the native copy of a file whose name the Win32 layer cannot open: its folder,
// "copied-" and its name ("C:\x\copied-con.txt"); for n > 1 numbered like NumberedName.
std::string CopyName(std::string_view path, int n = 1);

// Copies the data of `source` (8-bit path) through the native layer into `target`, a file
// handle open for writing. Throws std::runtime_error naming the cause.
void CopyFileNatively(const std::string& source, platform::Handle target);

// The system's text for a Win32 error code, on one line ("error N" when it has none).
std::string SystemErrorText(platform::DWORD error);

}  // namespace archive
