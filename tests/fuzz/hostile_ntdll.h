// An ntdll whose listing, registry and stream answers come from the fuzzer; the rest reach a sim machine.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/ntdll.h"
#include "platform/record_io.h"
#include "tests/unit/sim_with_ntdll.h"

namespace fuzz {

// Reads the fuzzer's input front to back; past its end every read gives zeros.
class InputReader {
 public:
  InputReader() = default;
  explicit InputReader(std::span<const std::byte> input) : input_(input) {}

  bool empty() const { return at_ >= input_.size(); }
  template <typename T>
  T Take() {
    std::array<std::byte, sizeof(T)> raw{};
    platform::records::RecordWriter(raw).PutBytes(0, TakeBytes(sizeof(T)));
    return *platform::records::RecordReader(raw).Get<T>(0);
  }
  std::span<const std::byte> TakeBytes(std::size_t count) {
    const std::size_t start = std::min(at_, input_.size());
    const std::size_t n = std::min(count, input_.size() - start);
    at_ = start + n;
    return input_.subspan(start, n);
  }

 private:
  std::span<const std::byte> input_;
  std::size_t at_ = 0;
};

// The answers it fakes read from `answers`; the rest go to the machine's own ntdll.
class HostileNtdll : public testing_support::ForwardingNtdll {
 public:
  explicit HostileNtdll(platform::Ntdll& inner) : ForwardingNtdll(inner) {}

  InputReader answers;
  bool hostileDirectories = false;
  bool hostileRegistry = false;
  bool hostileStreams = false;

  // --- files ---
  // One answer: where the bytes go in the buffer (4 bytes), how many (2 bytes), the bytes.
  platform::NTSTATUS NtQueryDirectoryFile(platform::Handle file, platform::Handle event,
                                          platform::IoStatus& io, std::span<std::byte> buffer,
                                          std::uint32_t infoClass, bool returnSingleEntry,
                                          const std::u16string_view* fileName, bool restartScan) override {
    if (!hostileDirectories)
      return ForwardingNtdll::NtQueryDirectoryFile(file, event, io, buffer, infoClass, returnSingleEntry,
                                                   fileName, restartScan);
    if (answers.empty()) return platform::STATUS_NO_MORE_FILES;
    const std::size_t at = answers.Take<std::uint32_t>() % (buffer.size() + 1);
    const auto bytes = answers.TakeBytes(answers.Take<std::uint16_t>());
    io.information = at + platform::records::RecordWriter(buffer).PutBytes(at, bytes);
    return platform::STATUS_SUCCESS;
  }

  // --- registry ---
  platform::NTSTATUS NtEnumerateKey(platform::Handle key, platform::DWORD index, platform::DWORD infoClass,
                                    std::span<std::byte> buffer, platform::DWORD& resultLength) override {
    if (!hostileRegistry) return ForwardingNtdll::NtEnumerateKey(key, index, infoClass, buffer, resultLength);
    return RegistryAnswer(buffer, resultLength);
  }
  platform::NTSTATUS NtEnumerateValueKey(platform::Handle key, platform::DWORD index,
                                         platform::DWORD infoClass, std::span<std::byte> buffer,
                                         platform::DWORD& resultLength) override {
    if (!hostileRegistry)
      return ForwardingNtdll::NtEnumerateValueKey(key, index, infoClass, buffer, resultLength);
    return RegistryAnswer(buffer, resultLength);
  }
  platform::NTSTATUS NtQueryValueKey(platform::Handle key, std::u16string_view valueName,
                                     platform::DWORD infoClass, std::span<std::byte> buffer,
                                     platform::DWORD& resultLength) override {
    if (!hostileRegistry)
      return ForwardingNtdll::NtQueryValueKey(key, valueName, infoClass, buffer, resultLength);
    return RegistryAnswer(buffer, resultLength);
  }

  // --- processes and objects ---
  // One answer: a status (1 byte: success, buffer overflow, buffer too small, length mismatch,
  // or another failure), the count of bytes said to be written (4 bytes), how many are written
  // (2 bytes), the bytes.
  platform::NTSTATUS NtQueryInformationFile(platform::Handle file, platform::IoStatus& io,
                                            std::span<std::byte> buffer, platform::DWORD infoClass) override {
    if (!hostileStreams) return ForwardingNtdll::NtQueryInformationFile(file, io, buffer, infoClass);
    if (answers.empty()) return platform::STATUS_ACCESS_DENIED;
    static constexpr platform::NTSTATUS kStatuses[] = {
        platform::STATUS_SUCCESS, platform::STATUS_BUFFER_OVERFLOW, platform::STATUS_BUFFER_TOO_SMALL,
        platform::STATUS_INFO_LENGTH_MISMATCH, platform::STATUS_ACCESS_DENIED};
    const platform::NTSTATUS status = kStatuses[answers.Take<std::uint8_t>() % std::size(kStatuses)];
    io.information = answers.Take<std::uint32_t>();
    platform::records::RecordWriter(buffer).PutBytes(0, answers.TakeBytes(answers.Take<std::uint16_t>()));
    return status;
  }

 private:
  // One answer: a status (1 byte: success, buffer overflow, buffer too small, no more entries,
  // or another failure), the length reported (4 bytes), how many bytes are written (2 bytes),
  // the bytes. The length reported may say anything; the bytes never go past the buffer.
  platform::NTSTATUS RegistryAnswer(std::span<std::byte> buffer, platform::DWORD& resultLength) {
    if (answers.empty()) return platform::STATUS_NO_MORE_ENTRIES;
    static constexpr platform::NTSTATUS kStatuses[] = {
        platform::STATUS_SUCCESS, platform::STATUS_BUFFER_OVERFLOW, platform::STATUS_BUFFER_TOO_SMALL,
        platform::STATUS_NO_MORE_ENTRIES, platform::STATUS_ACCESS_DENIED};
    const platform::NTSTATUS status = kStatuses[answers.Take<std::uint8_t>() % std::size(kStatuses)];
    // Up to 1 MiB: the walks allocate what the system says a record needs, and a claim of
    // gigabytes would only measure the fuzzer's memory limit.
    resultLength = answers.Take<std::uint32_t>() % (std::uint32_t{1} << 20);
    platform::records::RecordWriter(buffer).PutBytes(0, answers.TakeBytes(answers.Take<std::uint16_t>()));
    return status;
  }
};

}  // namespace fuzz
