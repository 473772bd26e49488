// The cabinet writer over the platform's cabinet interface, and the file handler over the
// platform's file handles.
#include "archive/cabinet_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

#include "platform/handles.h"
#include "platform/platform.h"

namespace archive {
namespace {

std::string CabinetErrorText(int operation, int type) {
  char text[64];
  std::snprintf(text, sizeof text, "Cabinet error %d (type %d)", operation, type);
  return text;
}

// CreateFileA arguments (the values of the system's headers).
constexpr platform::DWORD kGenericRead = 0x80000000, kGenericWrite = 0x40000000;
constexpr platform::DWORD kCreateAlways = 2, kOpenExisting = 3, kTruncateExisting = 5;
constexpr platform::DWORD kShareAll = 0x1 | 0x2 | 0x4;
constexpr platform::DWORD kAttributeNormal = 0x80;
// A write that took fewer bytes than it was given without an error of its own.
constexpr int kErrorDiskFull = 39;  // ERROR_HANDLE_DISK_FULL

platform::Handle ToPlatform(std::int32_t handle) {
  return static_cast<platform::Handle>(static_cast<std::intptr_t>(handle));
}

// The part after the last "\" or ":", and the part up to and including it.
std::size_t NameStart(const std::string& path) {
  auto at = path.find_last_of("\\:");
  return at == std::string::npos ? 0 : at + 1;
}

}  // namespace

ECabinetError::ECabinetError(int operation, int type)
    : std::runtime_error(CabinetErrorText(operation, type)), operation_(operation), type_(type) {}

// ---------------------------------------------------------------- stream file handler

struct TStreamCabinetFileHandler::Streams {
  std::vector<platform::KernelFileHandle> open;  // in the order they were opened

  platform::KernelFileHandle* Find(std::int32_t handle) {
    for (auto& s : open)
      if (static_cast<std::int32_t>(s.get()) == handle) return &s;
    return nullptr;
  }
};

TStreamCabinetFileHandler::TStreamCabinetFileHandler() : streams_(std::make_unique<Streams>()) {}

TStreamCabinetFileHandler::~TStreamCabinetFileHandler() {
  while (!streams_->open.empty()) streams_->open.pop_back();
}

std::int32_t TStreamCabinetFileHandler::Open(const std::string& fileName, int openFlags, int, int& error) {
  auto& k32 = platform::Current().kernel32;
  const platform::DWORD share = (openFlags & kOpenExclusive) ? 0 : kShareAll;
  platform::DWORD access = kGenericRead, disposition = kOpenExisting;
  // The interface creates its temporary files after naming them through GetTempFileNameA, which
  // already made them: creating truncates whatever is there.
  if (openFlags & kOpenCreate) {
    access = kGenericRead | kGenericWrite;
    disposition = kCreateAlways;
  } else {
    switch (openFlags & 3) {
      case kOpenWriteOnly:
        access = kGenericWrite;
        break;
      case kOpenReadWrite:
        access = kGenericRead | kGenericWrite;
        break;
      default:
        break;
    }
    if (openFlags & kOpenTruncate) disposition = kTruncateExisting;
  }
  platform::KernelFileHandle file(k32.CreateFileA(fileName, access, share, disposition, kAttributeNormal));
  if (!file) {
    error = static_cast<int>(k32.GetLastError());
    return -1;
  }
  error = 0;
  auto handle = static_cast<std::int32_t>(file.get());
  streams_->open.push_back(std::move(file));
  return handle;
}

std::uint32_t TStreamCabinetFileHandler::Read(std::int32_t handle, void* buffer, std::uint32_t count,
                                              int& error) {
  auto* s = streams_->Find(handle);
  if (s == nullptr) return (error = -1, 0);
  auto& k32 = platform::Current().kernel32;
  platform::DWORD done = 0;
  // A read that ends at the end of the file is short, and no error.
  bool ok = k32.ReadFile(s->get(), {static_cast<std::byte*>(buffer), count}, done);
  error = ok ? 0 : static_cast<int>(k32.GetLastError());
  return done;
}

std::uint32_t TStreamCabinetFileHandler::Write(std::int32_t handle, const void* buffer, std::uint32_t count,
                                               int& error) {
  auto* s = streams_->Find(handle);
  if (s == nullptr) return (error = -1, 0);
  auto& k32 = platform::Current().kernel32;
  platform::DWORD done = 0;
  bool ok = k32.WriteFile(s->get(), {static_cast<const std::byte*>(buffer), count}, done);
  error = !ok ? static_cast<int>(k32.GetLastError()) : done == count ? 0 : kErrorDiskFull;
  return done;
}

int TStreamCabinetFileHandler::Close(std::int32_t handle, int& error) {
  auto& open = streams_->open;
  auto it = std::find_if(open.begin(), open.end(), [&](const platform::KernelFileHandle& s) {
    return static_cast<std::int32_t>(s.get()) == handle;
  });
  if (it != open.end()) open.erase(it);
  error = 0;
  return 0;
}

std::int32_t TStreamCabinetFileHandler::Seek(std::int32_t handle, std::int32_t distance, int origin,
                                             int& error) {
  auto* s = streams_->Find(handle);
  if (s == nullptr) return (error = -1, 0);
  auto& k32 = platform::Current().kernel32;
  std::int64_t position = 0;
  if (!k32.SetFilePointerEx(s->get(), distance, &position, static_cast<platform::DWORD>(origin))) {
    error = static_cast<int>(k32.GetLastError());
    return -1;
  }
  error = 0;
  return static_cast<std::int32_t>(position);
}

int TStreamCabinetFileHandler::Delete(const std::string& fileName, int& error) {
  auto& k32 = platform::Current().kernel32;
  if (k32.DeleteFileA(fileName)) return (error = 0, 0);
  error = static_cast<int>(k32.GetLastError());
  return -1;
}

// ---------------------------------------------------------------- writer

// The open context and the callbacks the interface calls. An exception thrown by a handler or an
// event cannot pass through the interface: it is kept, the interface is told the step failed,
// and the exception is thrown again once the interface call has returned.
struct TCabinetWriter::Context final : platform::CabinetCallbacks {
  explicit Context(TCabinetWriter& writer) : w(writer) {}

  TCabinetWriter& w;
  platform::Handle context = platform::kNullHandle;
  platform::CabinetErrorRecord errors;
  std::exception_ptr pending;

  template <typename F, typename R>
  R Guard(R failed, F&& f) {
    try {
      return f();
    } catch (...) {
      if (!pending) pending = std::current_exception();
      return failed;
    }
  }
  TCabinetFileHandler* Handler(int& error) {
    if (w.FileHandler == nullptr) error = -1;
    return w.FileHandler;
  }

  std::intptr_t Open(const std::string& fileName, int openFlags, int permissionMode, int& error) override {
    return Guard(std::intptr_t{-1}, [&]() -> std::intptr_t {
      auto* h = Handler(error);
      return h == nullptr ? -1 : h->Open(fileName, openFlags, permissionMode, error);
    });
  }
  // The interface takes (UINT)-1 as a failed read or write, 0 bytes as the end of the file.
  std::uint32_t Read(std::intptr_t file, void* buffer, std::uint32_t count, int& error) override {
    return Guard(UINT32_MAX, [&]() -> std::uint32_t {
      auto* h = Handler(error);
      if (h == nullptr) return UINT32_MAX;
      std::uint32_t n = h->Read(static_cast<std::int32_t>(file), buffer, count, error);
      return error != 0 ? UINT32_MAX : n;
    });
  }
  std::uint32_t Write(std::intptr_t file, const void* buffer, std::uint32_t count, int& error) override {
    return Guard(UINT32_MAX, [&]() -> std::uint32_t {
      auto* h = Handler(error);
      if (h == nullptr) return UINT32_MAX;
      std::uint32_t n = h->Write(static_cast<std::int32_t>(file), buffer, count, error);
      return error != 0 ? UINT32_MAX : n;
    });
  }
  int Close(std::intptr_t file, int& error) override {
    return Guard(-1, [&] {
      auto* h = Handler(error);
      return h == nullptr ? -1 : h->Close(static_cast<std::int32_t>(file), error);
    });
  }
  std::int32_t Seek(std::intptr_t file, std::int32_t distance, int origin, int& error) override {
    return Guard(std::int32_t{-1}, [&]() -> std::int32_t {
      auto* h = Handler(error);
      if (h == nullptr) return -1;
      std::int32_t at = h->Seek(static_cast<std::int32_t>(file), distance, origin, error);
      return error != 0 ? -1 : at;
    });
  }
  int Delete(const std::string& fileName, int& error) override {
    return Guard(-1, [&] {
      auto* h = Handler(error);
      return h == nullptr ? -1 : h->Delete(fileName, error);
    });
  }
  bool GetTempFile(char* buffer, int size) override {
    return Guard(false, [&] {
      std::string name;
      bool success = false;
      w.GetTempFile(name, success);
      if (!success || size <= 0 || name.size() >= static_cast<std::size_t>(size)) return false;
      std::memcpy(buffer, name.c_str(), name.size() + 1);
      return true;
    });
  }
  int FilePlaced(platform::CabinetParameters& parameters, const std::string& fileName, std::int32_t length,
                 bool continuation) override {
    return Guard(-1, [&] {
      bool abort = false;
      w.FilePlaced(parameters, fileName, length, continuation, abort);
      return abort ? -1 : 0;
    });
  }
  bool GetNextCabinet(platform::CabinetParameters& parameters, std::uint32_t previousEstimatedSize) override {
    return Guard(false, [&] {
      bool abort = true;
      std::string name;
      w.GetNextCabinet(parameters, name, static_cast<std::int32_t>(previousEstimatedSize), abort);
      if (abort) return false;
      std::size_t at = NameStart(name);
      parameters.cabinetName = name.substr(at);
      parameters.cabinetPath = name.substr(0, at);
      return true;
    });
  }
  std::int32_t Status(unsigned type, std::uint32_t size1, std::uint32_t size2) override {
    return Guard(std::int32_t{-1}, [&] {
      std::int32_t result = 0;
      auto a = static_cast<std::int32_t>(size1), b = static_cast<std::int32_t>(size2);
      switch (type) {
        case platform::statusFile:
          w.FileStatus(a, b, result);
          break;
        case platform::statusFolder:
          w.FolderStatus(a, b, result);
          break;
        case platform::statusCabinet:
          w.CabinetStatus(a, b, result);
          break;
        default:
          return std::int32_t{-1};
      }
      return result;
    });
  }
  std::intptr_t GetOpenInfo(const std::string& fileName, std::uint16_t& date, std::uint16_t& time,
                            std::uint16_t& attributes, int& error) override {
    return Guard(std::intptr_t{-1}, [&]() -> std::intptr_t {
      std::int32_t handle = -1;
      int result = 0;
      w.GetOpenInfo(fileName, date, time, attributes, handle, result);
      error = result;
      return result != 0 ? -1 : handle;
    });
  }

  // After an interface call: a kept exception first, then the interface's own failure.
  void Check(bool ok) {
    if (pending) std::rethrow_exception(std::exchange(pending, nullptr));
    if (!ok) throw ECabinetError(errors.operation, errors.type);
  }
};

TCabinetWriter::TCabinetWriter() : context_(std::make_unique<Context>(*this)) {}

TCabinetWriter::~TCabinetWriter() {
  try {
    CloseCabinet();
  } catch (...) {
    // A destructor cannot report; CloseCabinet is how a caller sees the error.
  }
}

bool TCabinetWriter::IsOpen() const { return context_->context != platform::kNullHandle; }

void TCabinetWriter::CreateCabinet(const std::string& cabinetFileName, const std::string& diskName,
                                   std::uint16_t setId, std::uint32_t folderThreshold,
                                   std::uint32_t maximumCabinetSize) {
  CloseCabinet();
  if (FileHandler == nullptr) throw std::logic_error("TCabinetWriter.CreateCabinet: no file handler is set");
  platform::CabinetParameters p;
  p.maximumCabinetSize = maximumCabinetSize;
  p.folderThreshold = folderThreshold;
  p.failOnIncompressible = FailOnIncompressible;
  p.setId = setId;
  p.disk = diskName;
  std::size_t at = NameStart(cabinetFileName);
  p.cabinetName = cabinetFileName.substr(at);
  p.cabinetPath = cabinetFileName.substr(0, at);
  auto& c = *context_;
  c.errors = {};
  c.context = platform::Current().cabinet.FCICreate(c.errors, c, p);
  c.Check(c.context != platform::kNullHandle);
}

void TCabinetWriter::AddFile(const std::string& sourceFile, const std::string& nameInCabinet,
                             std::uint32_t compression, std::uint32_t flags) {
  auto& c = *context_;
  if (!IsOpen()) throw std::logic_error("TCabinetWriter.AddFile: no cabinet is open");
  std::uint32_t type = compression & 0xFF;
  std::uint32_t passed = type;
  if (type == kCompressQuantum) {
    passed = type + (((compression >> 16) & 0xFF) << 4) + (((compression >> 24) & 0xFF) << 8);
  } else if (type == kCompressLZX) {
    passed = compression;  // the caller has placed the window already
  }
  bool ok = platform::Current().cabinet.FCIAddFile(c.context, sourceFile, nameInCabinet, (flags & 1) != 0,
                                                   static_cast<std::uint16_t>(passed));
  c.Check(ok);
}

void TCabinetWriter::FlushCabinet(bool getNextCabinet) {
  auto& c = *context_;
  if (!IsOpen()) throw std::logic_error("TCabinetWriter.FlushCabinet: no cabinet is open");
  // Asking for a next cabinet that nothing can name only makes some libraries give up on the
  // cabinet in hand: the flush then completes this one cabinet.
  bool ok = platform::Current().cabinet.FCIFlushCabinet(c.context, getNextCabinet && CanGetNextCabinet());
  c.Check(ok);
}

void TCabinetWriter::CloseCabinet() {
  auto& c = *context_;
  if (!IsOpen()) return;
  platform::Handle h = std::exchange(c.context, platform::kNullHandle);
  c.Check(platform::Current().cabinet.FCIDestroy(h));
}

// ---------------------------------------------------------------- the steps behind the events

void TCabinetWriter::FileStatus(std::int32_t compressedSize, std::int32_t uncompressedSize,
                                std::int32_t& result) {
  if (OnFileStatus) OnFileStatus(compressedSize, uncompressedSize, result);
}

void TCabinetWriter::FolderStatus(std::int32_t sizeCopied, std::int32_t totalSize, std::int32_t& result) {
  if (OnFolderStatus) OnFolderStatus(sizeCopied, totalSize, result);
}

void TCabinetWriter::CabinetStatus(std::int32_t preEstimatedSize, std::int32_t actualSize,
                                   std::int32_t& wantedSize) {
  if (OnCabinetStatus) OnCabinetStatus(preEstimatedSize, actualSize, wantedSize);
}

void TCabinetWriter::GetNextCabinet(TCCAB& parameters, std::string& newCabFileName,
                                    std::int32_t previousEstimatedSize, bool& abortCreation) {
  if (OnGetNextCabinet) OnGetNextCabinet(parameters, newCabFileName, previousEstimatedSize, abortCreation);
}

bool TCabinetWriter::CanGetNextCabinet() const { return static_cast<bool>(OnGetNextCabinet); }

void TCabinetWriter::FilePlaced(TCCAB&, const std::string& fileName, std::int32_t fileLength,
                                bool continuation, bool& abortProcessing) {
  if (OnFilePlaced) OnFilePlaced(fileName, fileLength, continuation, abortProcessing);
}

void TCabinetWriter::GetTempFile(std::string& tempFileName, bool& success) {
  if (OnGetTempFile) {
    OnGetTempFile(tempFileName, success);
    return;
  }
  auto& k32 = platform::Current().kernel32;
  std::string folder = k32.GetTempPathA();
  if (folder.size() > 258) folder.clear();  // does not fit the 259-character buffer
  std::string program = k32.GetModuleFileNameA();
  std::string prefix = program.substr(NameStart(program), 3);
  tempFileName.clear();
  // A name that could not be made is no temporary file.
  success = k32.GetTempFileNameA(folder, prefix, 0, tempFileName) != 0;
}

void TCabinetWriter::GetOpenInfo(const std::string& fileName, std::uint16_t& date, std::uint16_t& time,
                                 std::uint16_t& attributes, std::int32_t& fileHandle, int& resultCode) {
  if (OnGetOpenInfo) {
    OnGetOpenInfo(fileName, date, time, attributes, fileHandle, resultCode);
    return;
  }
  auto& k32 = platform::Current().kernel32;
  attributes = 0;
  if (FileSupport) {
    platform::DWORD a = k32.GetFileAttributesA(fileName);
    // Unknown attributes are none: all bits set would also claim an executable, UTF-8 name.
    if (a != platform::INVALID_FILE_ATTRIBUTES) attributes = static_cast<std::uint16_t>(a & 0xFFFF);
  }
  resultCode = 0;
  fileHandle =
      FileHandler == nullptr ? -1 : FileHandler->Open(fileName, kOpenReadOnly | kOpenBinary, 0, resultCode);
  if (FileHandler == nullptr) resultCode = -1;
  if (resultCode != 0) return;
  date = 0;
  time = 0;
  std::uint64_t lastWrite = 0;
  if (FileSupport && k32.GetFileTime(ToPlatform(fileHandle), nullptr, nullptr, &lastWrite)) {
    // The time as the file system keeps it, without a change of time zone.
    if (!k32.FileTimeToDosDateTime(lastWrite, date, time)) date = time = 0;
  }
}

}  // namespace archive
