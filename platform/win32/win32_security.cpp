// The real security functions of advapi32: descriptors of files, SDDL conversion, SIDs, accounts.
#include <string>
#include <vector>

#include "platform/win32/win32_classes.h"
#include "platform/win32/win32_native.h"

namespace win32 {
namespace {

using platform::DWORD;

using ConvertStringSidToSidFn = BOOL(WINAPI*)(LPCSTR, PSID*);
using ConvertSidToStringSidFn = BOOL(WINAPI*)(PSID, LPSTR*);
using ConvertSdToStringFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, ::DWORD, SECURITY_INFORMATION, LPSTR*,
                                          PULONG);
using ConvertStringToSdFn = BOOL(WINAPI*)(LPCSTR, ::DWORD, PSECURITY_DESCRIPTOR*, PULONG);

// The SDDL conversions and their companions, bound by name once. They came late to advapi32,
// so a system lacking any one of them is treated as lacking the whole set.
struct SddlFunctions {
  ConvertStringSidToSidFn stringToSid = nullptr;
  ConvertSidToStringSidFn sidToString = nullptr;
  ConvertSdToStringFn sdToString = nullptr;

  SddlFunctions() {
    constexpr const wchar_t* kDll = L"advapi32.dll";
    auto a = BindExport<ConvertStringSidToSidFn>(kDll, "ConvertStringSidToSidA");
    auto b = BindExport<ConvertSidToStringSidFn>(kDll, "ConvertSidToStringSidA");
    auto c = BindExport<ConvertSdToStringFn>(kDll, "ConvertSecurityDescriptorToStringSecurityDescriptorA");
    auto d = BindExport<ConvertStringToSdFn>(kDll, "ConvertStringSecurityDescriptorToSecurityDescriptorA");
    auto e = BindExport<void*>(kDll, "MakeAbsoluteSD");
    auto f = BindExport<void*>(kDll, "MakeSelfRelativeSD");
    if (a && b && c && d && e && f) {
      stringToSid = a;
      sidToString = b;
      sdToString = c;
    }
  }
  bool Available() const { return stringToSid != nullptr; }
};

const SddlFunctions& Sddl() {
  static const SddlFunctions functions;
  return functions;
}

// A system name for the look-ups: "" is the local machine (a null pointer).
const char* SystemName(const std::string& name) { return name.empty() ? nullptr : name.c_str(); }

}  // namespace

bool Win32Advapi32::GetFileSecurityA(std::string_view fileName, DWORD information,
                                     std::span<std::byte> descriptor, DWORD& needed) {
  const std::string path(fileName);  // the system reads it up to its first zero
  ::DWORD size = 0;
  const BOOL ok =
      ::GetFileSecurityA(path.c_str(), information, descriptor.empty() ? nullptr : descriptor.data(),
                         static_cast<::DWORD>(descriptor.size()), &size);
  needed = size;
  return ok != FALSE;
}

bool Win32Advapi32::ConvertSecurityDescriptorToStringSecurityDescriptorA(
    std::span<const std::byte> descriptor, DWORD revision, DWORD information, std::string& text) {
  text.clear();
  if (!Sddl().Available()) {
    ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  LPSTR out = nullptr;
  ULONG length = 0;
  if (!Sddl().sdToString(const_cast<std::byte*>(descriptor.data()), revision, information, &out, &length))
    return false;
  if (out != nullptr) text = out;
  ::LocalFree(out);
  return true;
}

bool Win32Advapi32::ConvertStringSidToSidA(std::string_view text, std::vector<std::byte>& sid) {
  sid.clear();
  if (!Sddl().Available()) {
    ::SetLastError(platform::ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  const std::string t(text);
  PSID out = nullptr;
  if (!Sddl().stringToSid(t.c_str(), &out)) return false;
  const auto* bytes = static_cast<const std::byte*>(out);
  sid.assign(bytes, bytes + ::GetLengthSid(out));
  ::LocalFree(out);
  return true;
}

bool Win32Advapi32::ConvertSidToStringSidA(std::span<const std::byte> sid, std::string& text) {
  text.clear();
  if (!Sddl().Available()) return true;  // no text, and no failure to report
  // The system reads the SID's length from its own header: refuse one the bytes cannot hold.
  if (sid.size() < 8 || sid.size() < 8 + 4 * static_cast<std::size_t>(sid[1])) {
    ::SetLastError(platform::ERROR_INVALID_SID);
    return false;
  }
  LPSTR out = nullptr;
  if (!Sddl().sidToString(const_cast<std::byte*>(sid.data()), &out)) return false;
  if (out != nullptr) text = out;
  ::LocalFree(out);
  return true;
}

bool Win32Advapi32::LookupAccountNameA(std::string_view systemName, std::string_view accountName,
                                       std::span<std::byte> sid, DWORD& sidSize, std::string& domain,
                                       DWORD& domainSize, DWORD& use) {
  const std::string system(systemName), account(accountName);
  ::DWORD cbSid = std::min<::DWORD>(sidSize, static_cast<::DWORD>(sid.size()));
  ::DWORD cchDomain = domainSize;
  std::vector<char> domainBuffer(cchDomain + 1, '\0');
  SID_NAME_USE kind = SidTypeUnknown;
  const BOOL ok =
      ::LookupAccountNameA(SystemName(system), account.c_str(), cbSid == 0 ? nullptr : sid.data(), &cbSid,
                           cchDomain == 0 ? nullptr : domainBuffer.data(), &cchDomain, &kind);
  sidSize = cbSid;
  domainSize = cchDomain;
  if (ok) {
    domain = domainBuffer.data();  // up to its terminator, whether or not the length counts it
    use = static_cast<DWORD>(kind);
  }
  return ok != FALSE;
}

bool Win32Advapi32::LookupAccountSidA(std::string_view systemName, std::span<const std::byte> sid,
                                      std::string& name, DWORD& nameSize, std::string& domain,
                                      DWORD& domainSize, DWORD& use) {
  if (sid.size() < 8 || sid.size() < 8 + 4 * static_cast<std::size_t>(sid[1])) {
    ::SetLastError(platform::ERROR_INVALID_SID);
    return false;
  }
  const std::string system(systemName);
  ::DWORD cchName = nameSize, cchDomain = domainSize;
  std::vector<char> nameBuffer(cchName + 1, '\0'), domainBuffer(cchDomain + 1, '\0');
  SID_NAME_USE kind = SidTypeUnknown;
  const BOOL ok = ::LookupAccountSidA(SystemName(system), const_cast<std::byte*>(sid.data()),
                                      cchName == 0 ? nullptr : nameBuffer.data(), &cchName,
                                      cchDomain == 0 ? nullptr : domainBuffer.data(), &cchDomain, &kind);
  nameSize = cchName;
  domainSize = cchDomain;
  if (ok) {
    // Up to the terminators: Wine's lengths count them, Windows' do not.
    name = nameBuffer.data();
    domain = domainBuffer.data();
    use = static_cast<DWORD>(kind);
  }
  return ok != FALSE;
}

}  // namespace win32
