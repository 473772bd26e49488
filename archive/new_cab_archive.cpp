// The suspicious-file archive: each request resolved to files, each file added or logged as not
// added, then the registry export and the log; the cabinet appears under its name only when whole.
#include "archive/new_cab_archive.h"

#include <exception>
#include <sstream>
#include <stdexcept>

#include "archive/archive_constants.h"
#include "base/names.h"
#include "base/reserved_names.h"
#include "files/find_files.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "registry/reg_export.h"
#include "registry/win32_registry.h"

namespace archive {
namespace {

// Cabinet parameters: one folder per 900,000 bytes, no cabinet split below 2 GiB.
constexpr std::uint32_t kFolderThreshold = 900000;
constexpr std::uint32_t kMaximumCabinetSize = 2147483647;
// How many numbered names are tried before giving up (a folder with a hundred archives of the
// same minute is no accident).
constexpr int kNameTries = 100;

std::string_view FileNameOf(std::string_view path) {
  const auto cut = path.find_last_of('\\');
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string_view FolderOf(std::string_view path) {
  const auto cut = path.find_last_of('\\');
  return cut == std::string_view::npos ? std::string_view{} : path.substr(0, cut + 1);
}

// Zero characters made visible, so the log stays a text file.
std::string Visible(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\0')
      out += "\\0";
    else
      out += c;
  }
  return out;
}

std::string LastErrorText() { return SystemErrorText(platform::Current().kernel32.GetLastError()); }

// Writes all of `bytes` into an open file; throws with the system's message.
void WriteAll(platform::Handle file, const char* data, std::size_t size, const std::string& what) {
  auto& k32 = platform::Current().kernel32;
  while (size > 0) {
    platform::DWORD written = 0;
    const auto chunk = static_cast<platform::DWORD>(std::min<std::size_t>(size, 1u << 20));
    if (!k32.WriteFile(file, std::as_bytes(std::span(data, chunk)), written) || written == 0)
      throw std::runtime_error("cannot write " + what + ": " + LastErrorText());
    data += written;
    size -= written;
  }
}

// Fills a temporary file of our own (already created, empty) with `bytes`.
void FillFile(const std::string& path, std::string_view bytes) {
  auto& k32 = platform::Current().kernel32;
  platform::KernelFileHandle file(
      k32.CreateFileA(path, platform::GENERIC_WRITE, 0, platform::OPEN_EXISTING, platform::FILE_ATTRIBUTE_NORMAL));
  if (!file) throw std::runtime_error("cannot write " + path + ": " + LastErrorText());
  WriteAll(file.get(), bytes.data(), bytes.size(), path);
}

std::string StatusText(platform::NTSTATUS status) {
  switch (status) {
    case platform::STATUS_ACCESS_DENIED:
      return "access is denied";
    case platform::STATUS_OBJECT_NAME_NOT_FOUND:
    case platform::STATUS_NO_SUCH_FILE:
      return "the file does not exist";
    case platform::STATUS_OBJECT_PATH_NOT_FOUND:
      return "its folder does not exist";
    case platform::STATUS_SHARING_VIOLATION:
      return "another program has it open without sharing";
    default: {
      char text[32];
      std::snprintf(text, sizeof text, "status 0x%08X", static_cast<unsigned>(status));
      return text;
    }
  }
}

}  // namespace

std::string SystemErrorText(platform::DWORD error) {
  std::string text = platform::Current().kernel32.FormatMessageA(error);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (text.empty()) text = "error " + std::to_string(error);
  return text;
}

std::string NumberedName(std::string_view path, int n) {
  if (n <= 1) return std::string(path);
  const auto name = FileNameOf(path);
  const auto dot = name.find_last_of('.');
  const std::size_t at =
      dot == std::string_view::npos || dot == 0 ? path.size() : path.size() - name.size() + dot;
  return std::string(path.substr(0, at)) + "-" + std::to_string(n) + std::string(path.substr(at));
}

std::string CopyName(std::string_view path, int n) {
  return NumberedName(std::string(FolderOf(path)) + "copied-" + std::string(FileNameOf(path)), n);
}

void CopyFileNatively(const std::string& source, platform::Handle target) {
  auto& k32 = platform::Current().kernel32;
  auto& nt = platform::Current().ntdll;
  std::u16string name = k32.MultiByteToWideChar(platform::CP_ACP, source);
  if (!name.starts_with(u"\\??\\")) name.insert(0, u"\\??\\");
  const platform::ObjectAttributes attributes{name, platform::OBJ_CASE_INSENSITIVE};

  // Opened for synchronous reads: a read then never completes after the call has returned, so
  // no request can still write into the buffer once it is gone.
  platform::NtHandle file;
  platform::IoStatus io;
  const platform::NTSTATUS opened =
      nt.NtOpenFile(file.put(), platform::FILE_READ_DATA | platform::SYNCHRONIZE, attributes, io,
                    platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE | platform::FILE_SHARE_DELETE,
                    platform::FILE_OPEN_FOR_BACKUP_INTENT | platform::FILE_SYNCHRONOUS_IO_NONALERT);
  if (opened != platform::STATUS_SUCCESS && opened != platform::STATUS_PENDING)
    throw std::runtime_error("cannot open it through the native layer: " + StatusText(opened));

  platform::KernelHandle event(k32.CreateEventA(true, false));
  if (!event) throw std::runtime_error("cannot create an event: " + LastErrorText());
  std::vector<std::byte> buffer(kNativeCopyChunk);
  std::int64_t offset = 0;
  for (;;) {
    platform::IoStatus read;
    platform::NTSTATUS status = nt.NtReadFile(file.get(), event.get(), read, buffer, &offset);
    if (status == platform::STATUS_PENDING) {
      // Not on a synchronous handle; should a system pend all the same, the buffer stays until done.
      k32.WaitForSingleObject(event.get(), platform::INFINITE);
      status = read.status;
    }
    k32.ResetEvent(event.get());
    if (status == platform::STATUS_END_OF_FILE) break;
    if (!platform::NT_SUCCESS(status))
      throw std::runtime_error("cannot read it through the native layer: " + StatusText(status));
    const auto count = static_cast<std::size_t>(std::min<std::uintptr_t>(read.information, buffer.size()));
    if (count == 0) break;
    WriteAll(target, reinterpret_cast<const char*>(buffer.data()), count, "the copy");
    offset += static_cast<std::int64_t>(count);
  }
}

// --- the reporting file handler ---

std::int32_t TReportingFileHandler::Open(const std::string& fileName, int openFlags, int permissionMode,
                                         int& error) {
  const auto handle = TStreamCabinetFileHandler::Open(fileName, openFlags, permissionMode, error);
  if (error != 0) lastError_ = error;
  return handle;
}

std::uint32_t TReportingFileHandler::Read(std::int32_t handle, void* buffer, std::uint32_t count,
                                          int& error) {
  const auto done = TStreamCabinetFileHandler::Read(handle, buffer, count, error);
  if (error != 0) lastError_ = error;
  return done;
}

std::uint32_t TReportingFileHandler::Write(std::int32_t handle, const void* buffer, std::uint32_t count,
                                           int& error) {
  const auto done = TStreamCabinetFileHandler::Write(handle, buffer, count, error);
  if (error != 0) lastError_ = error;
  return done;
}

// --- the archive ---

TNewCabArchive::TNewCabArchive() { writer_.FileHandler = &fileHandler_; }

TNewCabArchive::~TNewCabArchive() {
  try {
    writer_.CloseCabinet();
  } catch (...) {
    // Nothing left to report to.
  }
  writer_.FileHandler = nullptr;
  RemoveTemporaryFiles();
}

void TNewCabArchive::SetArchiveName(std::string_view path) {
  archiveName_ = std::string(path);
  hasName_ = true;
}

std::string TNewCabArchive::FolderPart() const { return std::string(FolderOf(archiveName_)); }
std::string TNewCabArchive::FileNamePart() const { return std::string(FileNameOf(archiveName_)); }

void TNewCabArchive::AddExtraContent() {}

std::string TNewCabArchive::NewTemporaryFile(std::string_view prefix) {
  std::string name;
  if (platform::Current().kernel32.GetTempFileNameA(FolderPart(), prefix, 0, name) == 0)
    throw std::runtime_error("cannot create a temporary file in " + FolderPart() + ": " + LastErrorText());
  temporaryFiles_.push_back(name);
  return name;
}

void TNewCabArchive::RemoveTemporaryFiles() {
  for (const auto& name : temporaryFiles_) platform::Current().kernel32.DeleteFileA(name);
  temporaryFiles_.clear();
}

void TNewCabArchive::AddToCabinet(const std::string& source, const std::string& nameInCabinet) {
  fileHandler_.ForgetError();
  try {
    writer_.AddFile(source, nameInCabinet, kCompressMSZIP, 0);
  } catch (const ECabinetError&) {
    // The cabinet's code says little to a reader; the file system's cause says what happened.
    if (fileHandler_.LastError() == 0) throw;
    throw std::runtime_error(SystemErrorText(static_cast<platform::DWORD>(fileHandler_.LastError())));
  }
}

void TNewCabArchive::AddOwnFile(const std::string& path, const std::string& nameInCabinet) {
  AddToCabinet(path, nameInCabinet);
}

void TNewCabArchive::AddRequestedFile(const std::string& file) {
  TPackEntry entry{file, {}, false, {}};
  try {
    if (file.find('\0') != std::string::npos)
      throw std::runtime_error("its name holds a zero character, which the Win32 file functions cut short");
    if (base::IsReservedDeviceName(FileNameOf(file))) {
      // The Win32 layer opens a device for this name, not the file: copy it natively first.
      auto& k32 = platform::Current().kernel32;
      platform::KernelFileHandle copy;
      std::string copyName;
      for (int n = 1; n <= kNameTries && !copy; ++n) {
        copyName = CopyName(file, n);
        copy = platform::KernelFileHandle(
            k32.CreateFileA(copyName, platform::GENERIC_WRITE, 0, platform::CREATE_NEW, platform::FILE_ATTRIBUTE_NORMAL));
        const auto error = copy ? 0 : k32.GetLastError();
        if (!copy && error != platform::ERROR_FILE_EXISTS && error != platform::ERROR_ALREADY_EXISTS)
          throw std::runtime_error("cannot create its copy " + copyName + ": " + SystemErrorText(error));
      }
      if (!copy)
        throw std::runtime_error("cannot create its copy: every name up to " + copyName + " is taken");
      try {
        CopyFileNatively(file, copy.get());
      } catch (...) {
        // An incomplete copy is no copy: it would go into the archive as if it were the file.
        copy.reset();
        k32.DeleteFileA(copyName);
        throw;
      }
      copy.reset();
      AddToCabinet(copyName, copyName);
      entry.copyPath = copyName;
      log_.push_back("+ added: " + file + " (as: " + copyName + ")");
    } else {
      AddToCabinet(file, file);
      log_.push_back("+ added: " + file);
    }
    entry.added = true;
  } catch (const std::exception& e) {
    entry.reason = e.what();
    log_.push_back("- could not add: " + file);
    log_.push_back("  " + entry.reason);
  }
  entries_.push_back(std::move(entry));
}

void TNewCabArchive::AddRequest(const std::string& request) {
  // Only a pattern is searched for. A plain path is the file itself whether a listing shows it
  // or not (a hidden file is not listed, yet opens by name), and a listing of a device name such
  // as "con.txt" answers with the device ("con"), not the file.
  std::vector<std::string> found;
  if (request.find('\0') == std::string::npos &&
      FileNameOf(request).find_first_of("*?") != std::string_view::npos) {
    try {
      found = files::FindFilesTree(request, true, false, false, true);
    } catch (const std::exception&) {
      // A pattern the search cannot take: the request is then the one file, as when nothing is found.
    }
  }
  if (found.empty() && request.ends_with("\\*.*")) {
    // A folder that lists no files: said as such, rather than as a file named "*.*" that is missing.
    const std::string folder = request.substr(0, request.size() - 4);
    const auto attributes = platform::Current().kernel32.GetFileAttributesA(folder);
    if (request.find('\0') == std::string::npos && attributes != platform::INVALID_FILE_ATTRIBUTES &&
        (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0) {
      entries_.push_back({request, {}, false, "the folder holds no files that can be listed"});
      log_.push_back("- could not add: " + request);
      log_.push_back("  " + entries_.back().reason);
      return;
    }
  }
  if (found.empty()) found.push_back(request);
  for (const auto& file : found) {
    // A file that an earlier request already brought is not stored twice under the same name.
    bool seen = false;
    for (const auto& e : entries_) seen = seen || (e.added && base::SameIgnoringCase(e.path, file));
    if (!seen) AddRequestedFile(file);
  }
}

void TNewCabArchive::FinishUnderFinalName(const std::string& temporaryCabinet) {
  auto& k32 = platform::Current().kernel32;
  const std::string wanted = archiveName_;
  for (int n = 1; n <= kNameTries; ++n) {
    const std::string name = NumberedName(wanted, n);
    if (k32.MoveFileExA(temporaryCabinet, name, 0)) {
      archiveName_ = name;
      return;
    }
    const auto error = k32.GetLastError();
    if (error != platform::ERROR_ALREADY_EXISTS && error != platform::ERROR_FILE_EXISTS)
      throw std::runtime_error("cannot rename the finished archive to " + name + ": " +
                               SystemErrorText(error));
  }
  throw std::runtime_error("cannot name the archive: every name up to " + NumberedName(wanted, kNameTries) +
                           " is taken");
}

void TNewCabArchive::Pack() {
  if (!hasName_) throw std::logic_error("the archive has no name");
  log_ = headerLines_;
  log_.push_back("");
  log_.push_back("Requests:");
  for (const auto& r : requests_) log_.push_back(r);
  log_.push_back("");
  log_.push_back("Operations:");
  entries_.clear();

  try {
    const std::string cabinet = NewTemporaryFile("cab");
    writer_.CreateCabinet(cabinet, "", 0, kFolderThreshold, kMaximumCabinetSize);
    for (const auto& request : requests_) AddRequest(request);

    std::string text;
    for (const auto& line : log_) text += Visible(line) + "\r\n";
    const std::string logFile = NewTemporaryFile("log");
    FillFile(logFile, text);
    AddExtraContent();
    AddOwnFile(logFile, FileNamePart() + ".log");
    // One cabinet holds everything: no next cabinet is asked for.
    writer_.FlushCabinet(false);
    writer_.CloseCabinet();
    FinishUnderFinalName(cabinet);
    std::erase(temporaryFiles_, cabinet);
  } catch (...) {
    try {
      writer_.CloseCabinet();
    } catch (...) {
      // The first failure is the one to report.
    }
    RemoveTemporaryFiles();
    throw;
  }
  RemoveTemporaryFiles();
}

// --- with the registry export ---

void TNewCabArchiveWithRegistry::AddExtraContent() {
  if (keys_.empty() && values_.empty()) return;
  std::ostringstream out;
  // The header line makes the file one that the registry editor imports.
  out << "REGEDIT4\r\n";
  // A name with a zero character cannot be named in registry-editor text, and the Win32 view
  // would open a different key: such entries get a comment instead of a section.
  constexpr std::string_view kZeroNote = "// Not exported: the name holds a zero character: ";
  for (const auto& key : keys_) {
    platform::HKEY root = 0;
    std::string path;
    if (key.find('\0') != std::string::npos)
      out << "\r\n" << kZeroNote << Visible(key) << "\r\n";
    else if (registry::SplitKeyText(key, root, path))
      registry::ExportKey(root, path, true, false, false, out);
    else
      out << "\r\n// Not a registry key: " << key << "\r\n";
  }
  for (const auto& value : values_) {
    platform::HKEY root = 0;
    std::string path, name;
    if (value.find('\0') != std::string::npos)
      out << "\r\n" << kZeroNote << Visible(value) << "\r\n";
    else if (registry::SplitValueText(value, root, path, name)) {
      // The section names the key as every other section does, without a closing "\".
      if (path.size() > 1 && path.ends_with('\\')) path.pop_back();
      registry::ExportValue(root, path, name, false, false, out);
    } else
      out << "\r\n// Not a registry value: " << value << "\r\n";
  }
  const std::string file = NewTemporaryFile("reg");
  FillFile(file, out.str());
  AddOwnFile(file, FileNamePart() + ".reg");
}

}  // namespace archive
