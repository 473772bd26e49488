// The real DLLs: wininet.dll's HTTP client, each call passed through with its handles and errors.
#include <string>

#include "platform/win32/win32_classes.h"
// After the platform headers: wininet.h spells the platform's HTTP constants as macros.
#include <wininet.h>

namespace win32 {
namespace {

// A zero-terminated copy of an optional text, and the pointer the library takes for it.
struct CText {
  explicit CText(std::optional<std::string_view> t) : present(t.has_value()), text(t.value_or("")) {}
  const char* get() const { return present ? text.c_str() : nullptr; }
  bool present;
  std::string text;
};

HINTERNET ToInternet(platform::Handle h) { return reinterpret_cast<HINTERNET>(h); }
platform::Handle FromInternet(HINTERNET h) { return reinterpret_cast<platform::Handle>(h); }

}  // namespace

platform::DWORD Win32Http::GetLastError() { return ::GetLastError(); }

platform::Handle Win32Http::InternetOpenA(std::string_view agent, platform::DWORD accessType,
                                          std::optional<std::string_view> proxy,
                                          std::optional<std::string_view> proxyBypass,
                                          platform::DWORD flags) {
  const std::string a(agent);
  const CText p(proxy), b(proxyBypass);
  return FromInternet(::InternetOpenA(a.c_str(), accessType, p.get(), b.get(), flags));
}

platform::Handle Win32Http::InternetConnectA(platform::Handle session, std::string_view server,
                                             std::uint16_t port, std::optional<std::string_view> userName,
                                             std::optional<std::string_view> password,
                                             platform::DWORD service, platform::DWORD flags) {
  const std::string s(server);
  const CText u(userName), w(password);
  return FromInternet(
      ::InternetConnectA(ToInternet(session), s.c_str(), port, u.get(), w.get(), service, flags, 0));
}

platform::Handle Win32Http::HttpOpenRequestA(platform::Handle connection, std::string_view verb,
                                             std::string_view object, std::optional<std::string_view> version,
                                             std::optional<std::string_view> referrer,
                                             platform::DWORD flags) {
  const std::string v(verb), o(object);
  const CText ver(version), ref(referrer);
  return FromInternet(::HttpOpenRequestA(ToInternet(connection), v.c_str(), o.c_str(), ver.get(), ref.get(),
                                         nullptr, flags, 0));
}

bool Win32Http::HttpSendRequestA(platform::Handle request, std::string_view headers,
                                 std::span<const std::byte> body) {
  std::string h(headers);
  return ::HttpSendRequestA(ToInternet(request), h.empty() ? nullptr : h.c_str(),
                            static_cast<DWORD>(h.size()),
                            body.empty() ? nullptr : const_cast<std::byte*>(body.data()),
                            static_cast<DWORD>(body.size())) != FALSE;
}

bool Win32Http::HttpQueryInfoA(platform::Handle request, platform::DWORD infoLevel,
                               std::span<std::byte> buffer, platform::DWORD& length) {
  DWORD n = static_cast<DWORD>(buffer.size());
  const BOOL ok = ::HttpQueryInfoA(ToInternet(request), infoLevel, buffer.data(), &n, nullptr);
  length = n;
  return ok != FALSE;
}

bool Win32Http::InternetReadFile(platform::Handle request, std::span<std::byte> buffer,
                                 platform::DWORD& bytesRead) {
  DWORD n = 0;
  const BOOL ok =
      ::InternetReadFile(ToInternet(request), buffer.data(), static_cast<DWORD>(buffer.size()), &n);
  bytesRead = n;
  return ok != FALSE;
}

bool Win32Http::InternetCloseHandle(platform::Handle handle) {
  return ::InternetCloseHandle(ToInternet(handle)) != FALSE;
}

}  // namespace win32
