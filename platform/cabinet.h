// The cabinet compressor surface (the file compression interface): one context writes cabinets,
// every file access going through the caller's callbacks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

// ERF: what failed (the operation code below) and the cause (a C runtime or system error
// code, or the library's own); `error` is set when the record holds a failure.
struct CabinetErrorRecord {
  int operation = 0;
  int type = 0;
  bool error = false;
};

// The operation codes of CabinetErrorRecord::operation.
inline constexpr int FCIERR_NONE = 0, FCIERR_OPEN_SRC = 1, FCIERR_READ_SRC = 2, FCIERR_ALLOC_FAIL = 3,
                     FCIERR_TEMP_FILE = 4, FCIERR_BAD_COMPR_TYPE = 5, FCIERR_CAB_FILE = 6,
                     FCIERR_USER_ABORT = 7, FCIERR_MCI_FAIL = 8, FCIERR_CAB_FORMAT_LIMIT = 9;

// The compression types of FCIAddFile (tcompTYPE_*); Quantum and LZX carry their level or
// window in the upper bits.
inline constexpr std::uint16_t tcompTYPE_NONE = 0, tcompTYPE_MSZIP = 1, tcompTYPE_QUANTUM = 2,
                               tcompTYPE_LZX = 3, tcompMASK_TYPE = 0x000F;

// The file attribute bits a cabinet stores (besides the read-only, hidden, system and archive
// bits of the file system): the execute flag and "the name is UTF-8".
inline constexpr std::uint16_t CAB_ATTRIBUTE_EXEC = 0x40, CAB_ATTRIBUTE_NAME_IS_UTF = 0x80;

// The status kinds of CabinetCallbacks::Status.
inline constexpr unsigned statusFile = 0, statusFolder = 1, statusCabinet = 2;

// CCAB: the parameters of the cabinet being written. Texts are 8-bit names in the system code
// page; the library's buffers hold 255 characters of `disk`, `cabinetName` and `cabinetPath`.
struct CabinetParameters {
  std::uint32_t maximumCabinetSize = 0;  // cb
  std::uint32_t folderThreshold = 0;     // cbFolderThresh
  std::uint32_t reserveHeader = 0, reserveFolder = 0, reserveData = 0;
  int cabinetNumber = 0;  // iCab
  int diskNumber = 0;     // iDisk
  bool failOnIncompressible = false;
  std::uint16_t setId = 0;
  std::string disk;         // szDisk
  std::string cabinetName;  // szCab: the file-name part
  std::string cabinetPath;  // szCabPath: the folder part, ending in "\" or ":" (or empty)
};

// What the library calls back, with the meaning of its C callbacks. File handles are the
// callbacks' own values (-1 is a failure); `error` receives the C runtime or system error code.
// The open flags are the C runtime's (_O_RDONLY 0, _O_WRONLY 1, _O_RDWR 2, _O_CREAT 0x100,
// _O_TRUNC 0x200, _O_EXCL 0x400, _O_BINARY 0x8000).
class CabinetCallbacks {
 public:
  virtual ~CabinetCallbacks() = default;
  // A file has been placed into the cabinet described by `parameters`; -1 aborts.
  virtual int FilePlaced(CabinetParameters& parameters, const std::string& fileName, std::int32_t length,
                         bool continuation) = 0;
  virtual std::intptr_t Open(const std::string& fileName, int openFlags, int permissionMode, int& error) = 0;
  virtual std::uint32_t Read(std::intptr_t file, void* buffer, std::uint32_t count, int& error) = 0;
  virtual std::uint32_t Write(std::intptr_t file, const void* buffer, std::uint32_t count, int& error) = 0;
  virtual int Close(std::intptr_t file, int& error) = 0;
  virtual std::int32_t Seek(std::intptr_t file, std::int32_t distance, int origin, int& error) = 0;
  virtual int Delete(const std::string& fileName, int& error) = 0;
  // Fills `buffer` (of `size` characters, terminating zero included) with the name of a
  // temporary file; false when none can be had.
  virtual bool GetTempFile(char* buffer, int size) = 0;
  // Before another cabinet of the set is begun: false stops the set there.
  virtual bool GetNextCabinet(CabinetParameters& parameters, std::uint32_t previousEstimatedSize) = 0;
  // Progress; for statusCabinet the answer is the size the cabinet should have, otherwise -1
  // aborts.
  virtual std::int32_t Status(unsigned type, std::uint32_t size1, std::uint32_t size2) = 0;
  // Opens a source file for reading and gives its DOS date, time and attributes; -1 fails.
  virtual std::intptr_t GetOpenInfo(const std::string& fileName, std::uint16_t& date, std::uint16_t& time,
                                    std::uint16_t& attributes, int& error) = 0;
};

// FCICreate and its companions. A context is a handle value (0 when creation failed); each
// failure fills the context's error record and returns false. Where the system has no
// compressor, FCICreate fails with FCIERR_ALLOC_FAIL and type ERROR_CALL_NOT_IMPLEMENTED.
class Cabinet {
 public:
  virtual ~Cabinet() = default;
  // `errors` and `callbacks` must outlive the context; `parameters` is copied.
  virtual Handle FCICreate(CabinetErrorRecord& errors, CabinetCallbacks& callbacks,
                           const CabinetParameters& parameters) = 0;
  // The source is opened through GetOpenInfo; `compression` is a tcompTYPE_* value.
  virtual bool FCIAddFile(Handle context, std::string_view sourceFile, std::string_view nameInCabinet,
                          bool execute, std::uint16_t compression) = 0;
  // Completes the current cabinet; with `getNextCabinet` the library asks GetNextCabinet first.
  virtual bool FCIFlushCabinet(Handle context, bool getNextCabinet) = 0;
  virtual bool FCIFlushFolder(Handle context) = 0;
  virtual bool FCIDestroy(Handle context) = 0;
};

}  // namespace platform
