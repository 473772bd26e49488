// The ntdll surface: the native layer below Win32 that the cross-view comparisons read.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

// Every function has the real export's meaning: same status codes, and buffers receive the
// real record layouts of platform/records.h for the build's pointer width.
class Ntdll {
 public:
  virtual ~Ntdll() = default;

  virtual NTSTATUS NtClose(Handle handle) = 0;

  // --- files ---
  virtual NTSTATUS NtOpenFile(Handle& handle, DWORD access, const ObjectAttributes& attributes, IoStatus& io,
                              DWORD share, DWORD options) = 0;
  // `fileName` is the optional mask (nullptr: every entry). The records written into `buffer`
  // are those of platform/records.h for `infoClass`. Never answers STATUS_PENDING: a request
  // that pends is waited for (or cancelled and then waited for) before the call returns, so it
  // cannot write into `io` or `buffer` afterwards.
  virtual NTSTATUS NtQueryDirectoryFile(Handle file, Handle event, IoStatus& io, std::span<std::byte> buffer,
                                        std::uint32_t infoClass, bool returnSingleEntry,
                                        const std::u16string_view* fileName, bool restartScan) = 0;

  // Reads from `byteOffset` (or the handle's position when null) into `buffer`. On a handle
  // opened without FILE_SYNCHRONOUS_IO_* the call may answer STATUS_PENDING and complete later,
  // signalling `event`; `io.information` then holds the bytes read. STATUS_END_OF_FILE at or
  // past the end. Needs FILE_READ_DATA access.
  virtual NTSTATUS NtReadFile(Handle file, Handle event, IoStatus& io, std::span<std::byte> buffer,
                              const std::int64_t* byteOffset) = 0;

  // --- registry ---
  // Opens the key named by `attributes` (a full native path "\Registry\Machine\...", or one
  // relative to attributes.rootDirectory, an open key). Names are counted: a zero character
  // is part of the name.
  virtual NTSTATUS NtOpenKey(Handle& handle, DWORD access, const ObjectAttributes& attributes) = 0;
  // Class 0 (KEY_BASIC_INFORMATION) of the subkey at `index`. STATUS_BUFFER_TOO_SMALL when not
  // even the fixed part fits, STATUS_BUFFER_OVERFLOW (fixed part written) when the name does
  // not; `resultLength` is the full size in both cases. STATUS_NO_MORE_ENTRIES past the end.
  virtual NTSTATUS NtEnumerateKey(Handle key, DWORD index, DWORD infoClass, std::span<std::byte> buffer,
                                  DWORD& resultLength) = 0;
  // Class 0 (KEY_VALUE_BASIC_INFORMATION) of the value at `index`, with the same rules.
  virtual NTSTATUS NtEnumerateValueKey(Handle key, DWORD index, DWORD infoClass, std::span<std::byte> buffer,
                                       DWORD& resultLength) = 0;
  // Classes 0 (basic) and 1 (KEY_VALUE_FULL_INFORMATION) of the value named exactly `valueName`.
  virtual NTSTATUS NtQueryValueKey(Handle key, std::u16string_view valueName, DWORD infoClass,
                                   std::span<std::byte> buffer, DWORD& resultLength) = 0;
  virtual NTSTATUS NtDeleteValueKey(Handle key, std::u16string_view valueName) = 0;
  // Opens the key, creating its last component when missing (the parent must exist);
  // `disposition` is REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
  virtual NTSTATUS NtCreateKey(Handle& handle, DWORD access, const ObjectAttributes& attributes,
                               DWORD& disposition) = 0;
  // Stores the value named exactly `valueName` (zero characters included), replacing one of that name.
  virtual NTSTATUS NtSetValueKey(Handle key, std::u16string_view valueName, DWORD type,
                                 std::span<const std::byte> data) = 0;
  // Deletes the open key; STATUS_CANNOT_DELETE while it has subkeys.
  virtual NTSTATUS NtDeleteKey(Handle key) = 0;
  // The native path of the current user's key: "\Registry\User\" followed by the user's SID.
  virtual NTSTATUS RtlFormatCurrentUserKeyPath(std::u16string& path) = 0;

  // --- processes and objects ---
  // Classes 16 and 64 (the handle table). STATUS_INFO_LENGTH_MISMATCH with the needed size in
  // `returnLength` when the buffer is too small.
  virtual NTSTATUS NtQuerySystemInformation(DWORD infoClass, std::span<std::byte> buffer,
                                            DWORD& returnLength) = 0;
  // Class 1 (object name): a UNICODE_STRING header followed by the text in the same buffer.
  virtual NTSTATUS NtQueryObject(Handle handle, DWORD infoClass, std::span<std::byte> buffer,
                                 DWORD& returnLength) = 0;
  // Class 9 (file name): a 32-bit length in bytes, then the name within its volume. May
  // block for ever on some handles (a pipe with a pending synchronous read).
  virtual NTSTATUS NtQueryInformationFile(Handle file, IoStatus& io, std::span<std::byte> buffer,
                                          DWORD infoClass) = 0;
  // Class 0 (PROCESS_BASIC_INFORMATION of platform/records.h) of a process handle opened with
  // PROCESS_QUERY_INFORMATION.
  virtual NTSTATUS NtQueryInformationProcess(Handle process, DWORD infoClass, std::span<std::byte> buffer,
                                             DWORD& returnLength) = 0;
};

}  // namespace platform
