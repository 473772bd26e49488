// The HTTP client surface (the Internet functions of the system's HTTP library): a session, a
// connection to one server, a request on it, its status and headers, and its body read in blocks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/types.h"

namespace platform {

// InternetOpen access types.
inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
// InternetConnect services and the default ports.
inline constexpr DWORD INTERNET_SERVICE_HTTP = 3;
inline constexpr std::uint16_t INTERNET_DEFAULT_HTTP_PORT = 80;
inline constexpr std::uint16_t INTERNET_DEFAULT_HTTPS_PORT = 443;
// Request flags: TLS on the connection; never answer from the cache.
inline constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;
inline constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
// HttpQueryInfo levels and modifiers.
inline constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
inline constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
inline constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;

// The library's own error codes (GetLastError after a failed call).
inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
inline constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
inline constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;

// Every handle is a value of this interface (0 is a failure); each kind is closed with
// InternetCloseHandle, a session after its connections and a connection after its requests.
// A failed call answers 0 or false and leaves its reason for GetLastError on the calling thread.
class Http {
 public:
  virtual ~Http() = default;

  // The calling thread's error of the last failed call of this interface.
  virtual DWORD GetLastError() = 0;

  // A session. Proxy names are ignored unless the access type asks for a proxy.
  virtual Handle InternetOpenA(std::string_view agent, DWORD accessType,
                               std::optional<std::string_view> proxy,
                               std::optional<std::string_view> proxyBypass, DWORD flags) = 0;
  // A connection to `server` on `port`; the host is resolved and reached when a request is sent.
  virtual Handle InternetConnectA(Handle session, std::string_view server, std::uint16_t port,
                                  std::optional<std::string_view> userName,
                                  std::optional<std::string_view> password, DWORD service, DWORD flags) = 0;
  // A request for `object` (the path, beginning with "/") on the connection; `verb` is "GET"
  // and so on. INTERNET_FLAG_SECURE in `flags` speaks TLS.
  virtual Handle HttpOpenRequestA(Handle connection, std::string_view verb, std::string_view object,
                                  std::optional<std::string_view> version,
                                  std::optional<std::string_view> referrer, DWORD flags) = 0;
  // Sends the request and reads the answer's status line and headers.
  virtual bool HttpSendRequestA(Handle request, std::string_view headers,
                                std::span<const std::byte> body) = 0;
  // One header of the answer: as text (zero-terminated; `length` gets the characters without
  // the zero) or, with HTTP_QUERY_FLAG_NUMBER, a 32-bit number. A buffer too small fails with
  // ERROR_INSUFFICIENT_BUFFER and `length` the bytes needed; a missing header with
  // ERROR_HTTP_HEADER_NOT_FOUND.
  virtual bool HttpQueryInfoA(Handle request, DWORD infoLevel, std::span<std::byte> buffer,
                              DWORD& length) = 0;
  // The next bytes of the body; `bytesRead` 0 with true at the end.
  virtual bool InternetReadFile(Handle request, std::span<std::byte> buffer, DWORD& bytesRead) = 0;
  virtual bool InternetCloseHandle(Handle handle) = 0;
};

}  // namespace platform
