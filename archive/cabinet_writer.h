// Writes Microsoft cabinet files through the platform's cabinet interface; every failure is an exception.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cabinet.h"
#include "platform/types.h"

namespace archive {

// A failed cabinet call: the interface's operation code and error type.
class ECabinetError : public std::runtime_error {
 public:
  ECabinetError(int operation, int type);
  int Operation() const { return operation_; }
  int Type() const { return type_; }

 private:
  int operation_, type_;
};

// The interface's open flags (the C runtime's) that the handlers see.
inline constexpr int kOpenReadOnly = 0x0000, kOpenWriteOnly = 0x0001, kOpenReadWrite = 0x0002,
                     kOpenCreate = 0x0100, kOpenTruncate = 0x0200, kOpenExclusive = 0x0400,
                     kOpenBinary = 0x8000;

// The file operations the cabinet interface needs. Handles are 32-bit; -1 is a failure.
class TCabinetFileHandler {
 public:
  virtual ~TCabinetFileHandler() = default;
  virtual std::int32_t Open(const std::string& fileName, int openFlags, int permissionMode, int& error) = 0;
  virtual std::uint32_t Read(std::int32_t handle, void* buffer, std::uint32_t count, int& error) = 0;
  virtual std::uint32_t Write(std::int32_t handle, const void* buffer, std::uint32_t count, int& error) = 0;
  virtual int Close(std::int32_t handle, int& error) = 0;
  virtual std::int32_t Seek(std::int32_t handle, std::int32_t distance, int origin, int& error) = 0;
  virtual int Delete(const std::string& fileName, int& error) = 0;
};

// The handler over the platform's file handles (CreateFileA, ReadFile, WriteFile, ...): every
// file it opens stays in its list until closed; destroying it closes what is still open.
class TStreamCabinetFileHandler : public TCabinetFileHandler {
 public:
  TStreamCabinetFileHandler();
  ~TStreamCabinetFileHandler() override;
  std::int32_t Open(const std::string& fileName, int openFlags, int permissionMode, int& error) override;
  std::uint32_t Read(std::int32_t handle, void* buffer, std::uint32_t count, int& error) override;
  std::uint32_t Write(std::int32_t handle, const void* buffer, std::uint32_t count, int& error) override;
  int Close(std::int32_t handle, int& error) override;
  std::int32_t Seek(std::int32_t handle, std::int32_t distance, int origin, int& error) override;
  int Delete(const std::string& fileName, int& error) override;

 private:
  struct Streams;
  std::unique_ptr<Streams> streams_;
};

// Compression selectors for AddFile: the low byte is the type.
inline constexpr std::uint32_t kCompressNone = 0, kCompressMSZIP = 1, kCompressQuantum = 2, kCompressLZX = 3;

// The cabinet parameters the get-next-cabinet and file-placed steps see.
using TCCAB = platform::CabinetParameters;

class TCabinetWriter {
 public:
  TCabinetWriter();
  virtual ~TCabinetWriter();  // closes
  TCabinetWriter(const TCabinetWriter&) = delete;
  TCabinetWriter& operator=(const TCabinetWriter&) = delete;

  bool FailOnIncompressible = true;
  bool FileSupport = true;                     // attributes and times from the file system
  TCabinetFileHandler* FileHandler = nullptr;  // not owned; must outlive the open cabinet

  // Closed -> CreateCabinet -> AddFile... -> FlushCabinet -> CloseCabinet.
  void CreateCabinet(const std::string& cabinetFileName, const std::string& diskName, std::uint16_t setId,
                     std::uint32_t folderThreshold, std::uint32_t maximumCabinetSize);
  // Bit 0 of `flags`: the execute flag.
  void AddFile(const std::string& sourceFile, const std::string& nameInCabinet, std::uint32_t compression,
               std::uint32_t flags);
  void FlushCabinet(bool getNextCabinet);
  void CloseCabinet();
  bool IsOpen() const;

  // Events (the writer's own default steps run when get-temp-file / get-open-info are unset).
  std::function<void(std::int32_t compressedSize, std::int32_t uncompressedSize, std::int32_t& result)>
      OnFileStatus;
  std::function<void(std::int32_t sizeCopied, std::int32_t totalSize, std::int32_t& result)> OnFolderStatus;
  std::function<void(std::int32_t preEstimatedSize, std::int32_t actualSize, std::int32_t& wantedSize)>
      OnCabinetStatus;
  std::function<void(const std::string& fileName, std::int32_t fileLength, bool continuation, bool& abort)>
      OnFilePlaced;
  std::function<void(std::string& tempFileName, bool& success)> OnGetTempFile;
  // Asked before another cabinet of a set is begun; leaving `abortCreation` true ends the set.
  std::function<void(TCCAB& parameters, std::string& newCabFileName, std::int32_t previousEstimatedSize,
                     bool& abortCreation)>
      OnGetNextCabinet;
  // Opens a source for the cabinet: its handle (a FileHandler handle), DOS date, time and
  // attributes; a non-zero result code fails the file.
  std::function<void(const std::string& fileName, std::uint16_t& date, std::uint16_t& time,
                     std::uint16_t& attributes, std::int32_t& fileHandle, int& resultCode)>
      OnGetOpenInfo;

 protected:
  // One step per event, each calling its event when one is set. Without an event, GetTempFile
  // and GetOpenInfo take the default steps below; the others do nothing.
  virtual void FileStatus(std::int32_t compressedSize, std::int32_t uncompressedSize, std::int32_t& result);
  virtual void FolderStatus(std::int32_t sizeCopied, std::int32_t totalSize, std::int32_t& result);
  virtual void CabinetStatus(std::int32_t preEstimatedSize, std::int32_t actualSize,
                             std::int32_t& wantedSize);
  virtual void GetNextCabinet(TCCAB& parameters, std::string& newCabFileName,
                              std::int32_t previousEstimatedSize, bool& abortCreation);
  virtual void FilePlaced(TCCAB& parameters, const std::string& fileName, std::int32_t fileLength,
                          bool continuation, bool& abortProcessing);
  virtual void GetTempFile(std::string& tempFileName, bool& success);
  virtual void GetOpenInfo(const std::string& fileName, std::uint16_t& date, std::uint16_t& time,
                           std::uint16_t& attributes, std::int32_t& fileHandle, int& resultCode);
  // Whether a flush that asks for a next cabinet can get one: an OnGetNextCabinet is set. A
  // class that answers GetNextCabinet itself says so here.
  virtual bool CanGetNextCabinet() const;

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

}  // namespace archive
