// A simulated machine installed as the platform with its ntdll wrapped, for the tests and the fuzzers.
#pragma once

#include <memory>

#include "platform/ntdll.h"
#include "platform/platform.h"
#include "platform/sim/sim_platform.h"

namespace testing_support {

// Passes every call on to `inner`; a test derives from it and replaces the answers it fakes.
class ForwardingNtdll : public platform::Ntdll {
 public:
  explicit ForwardingNtdll(platform::Ntdll& inner) : inner_(inner) {}

  platform::NTSTATUS NtClose(platform::Handle handle) override { return inner_.NtClose(handle); }

  // --- files ---
  platform::NTSTATUS NtOpenFile(platform::Handle& handle, platform::DWORD access,
                                const platform::ObjectAttributes& attributes, platform::IoStatus& io,
                                platform::DWORD share, platform::DWORD options) override {
    return inner_.NtOpenFile(handle, access, attributes, io, share, options);
  }
  platform::NTSTATUS NtQueryDirectoryFile(platform::Handle file, platform::Handle event,
                                          platform::IoStatus& io, std::span<std::byte> buffer,
                                          std::uint32_t infoClass, bool returnSingleEntry,
                                          const std::u16string_view* fileName, bool restartScan) override {
    return inner_.NtQueryDirectoryFile(file, event, io, buffer, infoClass, returnSingleEntry, fileName,
                                       restartScan);
  }

  // --- registry ---
  platform::NTSTATUS NtOpenKey(platform::Handle& handle, platform::DWORD access,
                               const platform::ObjectAttributes& attributes) override {
    return inner_.NtOpenKey(handle, access, attributes);
  }
  platform::NTSTATUS NtEnumerateKey(platform::Handle key, platform::DWORD index, platform::DWORD infoClass,
                                    std::span<std::byte> buffer, platform::DWORD& resultLength) override {
    return inner_.NtEnumerateKey(key, index, infoClass, buffer, resultLength);
  }
  platform::NTSTATUS NtEnumerateValueKey(platform::Handle key, platform::DWORD index,
                                         platform::DWORD infoClass, std::span<std::byte> buffer,
                                         platform::DWORD& resultLength) override {
    return inner_.NtEnumerateValueKey(key, index, infoClass, buffer, resultLength);
  }
  platform::NTSTATUS NtQueryValueKey(platform::Handle key, std::u16string_view valueName,
                                     platform::DWORD infoClass, std::span<std::byte> buffer,
                                     platform::DWORD& resultLength) override {
    return inner_.NtQueryValueKey(key, valueName, infoClass, buffer, resultLength);
  }
  platform::NTSTATUS NtDeleteValueKey(platform::Handle key, std::u16string_view valueName) override {
    return inner_.NtDeleteValueKey(key, valueName);
  }
  platform::NTSTATUS NtCreateKey(platform::Handle& handle, platform::DWORD access,
                                 const platform::ObjectAttributes& attributes,
                                 platform::DWORD& disposition) override {
    return inner_.NtCreateKey(handle, access, attributes, disposition);
  }
  platform::NTSTATUS NtSetValueKey(platform::Handle key, std::u16string_view valueName, platform::DWORD type,
                                   std::span<const std::byte> data) override {
    return inner_.NtSetValueKey(key, valueName, type, data);
  }
  platform::NTSTATUS NtDeleteKey(platform::Handle key) override { return inner_.NtDeleteKey(key); }
  platform::NTSTATUS RtlFormatCurrentUserKeyPath(std::u16string& path) override {
    return inner_.RtlFormatCurrentUserKeyPath(path);
  }

  // --- processes and objects ---
  platform::NTSTATUS NtQuerySystemInformation(platform::DWORD infoClass, std::span<std::byte> buffer,
                                              platform::DWORD& returnLength) override {
    return inner_.NtQuerySystemInformation(infoClass, buffer, returnLength);
  }
  platform::NTSTATUS NtQueryObject(platform::Handle handle, platform::DWORD infoClass,
                                   std::span<std::byte> buffer, platform::DWORD& returnLength) override {
    return inner_.NtQueryObject(handle, infoClass, buffer, returnLength);
  }
  platform::NTSTATUS NtQueryInformationFile(platform::Handle file, platform::IoStatus& io,
                                            std::span<std::byte> buffer, platform::DWORD infoClass) override {
    return inner_.NtQueryInformationFile(file, io, buffer, infoClass);
  }
  platform::NTSTATUS NtReadFile(platform::Handle file, platform::Handle event, platform::IoStatus& io,
                                std::span<std::byte> buffer, const std::int64_t* byteOffset) override {
    return inner_.NtReadFile(file, event, io, buffer, byteOffset);
  }
  platform::NTSTATUS NtQueryInformationProcess(platform::Handle process, platform::DWORD infoClass,
                                               std::span<std::byte> buffer, platform::DWORD& returnLength) override {
    return inner_.NtQueryInformationProcess(process, infoClass, buffer, returnLength);
  }

 private:
  platform::Ntdll& inner_;
};

// Owns a simulated machine and installs it as the platform for its lifetime, its ntdll
// replaced by a `Wrapper` (a ForwardingNtdll or one like it) over the machine's own.
template <typename Wrapper>
class SimWithNtdll {
  // First, so the machine exists before the wrapper and the platform that point into it.
  sim::SimPlatform sim_;

 public:
  explicit SimWithNtdll(std::unique_ptr<sim::Machine> machine)
      : sim_(std::move(machine)),
        ntdll(sim_.platform().ntdll),
        platform_{sim_.platform().kernel32, ntdll, sim_.platform().advapi32, sim_.platform().toolhelp,
                  sim_.platform().shell, sim_.platform().cabinet, sim_.platform().http},
        scope_(platform_) {}

  sim::Machine& machine() { return sim_.machine(); }

  Wrapper ntdll;

 private:
  platform::Platform platform_;
  platform::ScopedPlatform scope_;
};

}  // namespace testing_support
