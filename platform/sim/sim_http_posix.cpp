// The HTTP client on a Linux host: libcurl makes each request, answering through the Internet
// calls with the system library's handles, header queries and error codes.
#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>

#include "platform/sim/sim_http.h"

namespace sim {
namespace {

using platform::DWORD;
using platform::Handle;

thread_local DWORD t_lastError = 0;

// An answer larger than this is refused rather than held in memory whole.
constexpr std::size_t kMaxBody = std::size_t{512} << 20;

struct Session {
  std::string agent;
};
struct Connection {
  Handle session = 0;
  std::string host;
  std::uint16_t port = 0;
};
struct Request {
  Handle connection = 0;
  std::string verb, object;
  DWORD flags = 0;
  bool sent = false;
  long status = 0;
  std::map<std::string, std::string> headers;  // of the final answer; names in lower case
  std::string body;
  std::size_t read = 0;
};
using Object = std::variant<Session, Connection, Request>;

// The library's error for a transfer libcurl could not make.
DWORD ErrorOf(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return platform::ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return platform::ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
      return platform::ERROR_INTERNET_TIMEOUT;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return platform::ERROR_INTERNET_INVALID_URL;
    case CURLE_PEER_FAILED_VERIFICATION:
      return platform::ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
      return platform::ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
      return platform::ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
      return platform::ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_OUT_OF_MEMORY:
    case CURLE_WRITE_ERROR:
      return platform::ERROR_NOT_ENOUGH_MEMORY;
    default:
      return platform::ERROR_INTERNET_INTERNAL_ERROR;
  }
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& body = *static_cast<std::string*>(user);
  const std::size_t n = size * count;
  if (body.size() + n > kMaxBody) return 0;  // ends the transfer with CURLE_WRITE_ERROR
  body.append(data, n);
  return n;
}

// Header lines of every answer arrive here, redirects included: a status line starts the set anew.
std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& headers = *static_cast<std::map<std::string, std::string>*>(user);
  const std::size_t n = size * count;
  std::string line(data, n);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  if (line.rfind("HTTP/", 0) == 0) {
    headers.clear();
  } else if (auto colon = line.find(':'); colon != std::string::npos) {
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    headers[Lower(line.substr(0, colon))] = value;
  }
  return n;
}

class CurlHttp final : public platform::Http {
 public:
  CurlHttp() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  }

  DWORD GetLastError() override { return t_lastError; }

  Handle InternetOpenA(std::string_view agent, DWORD, std::optional<std::string_view>,
                       std::optional<std::string_view>, DWORD) override {
    return Add(Session{std::string(agent)});
  }

  Handle InternetConnectA(Handle session, std::string_view server, std::uint16_t port,
                          std::optional<std::string_view>, std::optional<std::string_view>, DWORD service,
                          DWORD) override {
    std::lock_guard lock(mutex_);
    if (!Is<Session>(session)) return Fail(platform::ERROR_INVALID_HANDLE);
    if (service != platform::INTERNET_SERVICE_HTTP) return Fail(platform::ERROR_INVALID_PARAMETER);
    if (server.empty()) return Fail(platform::ERROR_INTERNET_INVALID_URL);
    if (port == 0) port = platform::INTERNET_DEFAULT_HTTP_PORT;
    return AddLocked(Connection{session, std::string(server), port});
  }

  Handle HttpOpenRequestA(Handle connection, std::string_view verb, std::string_view object,
                          std::optional<std::string_view>, std::optional<std::string_view>,
                          DWORD flags) override {
    std::lock_guard lock(mutex_);
    if (!Is<Connection>(connection)) return Fail(platform::ERROR_INVALID_HANDLE);
    Request r;
    r.connection = connection;
    r.verb = verb.empty() ? "GET" : std::string(verb);
    r.object = object.empty() ? "/" : std::string(object);
    if (r.object.front() != '/') r.object.insert(0, 1, '/');
    r.flags = flags;
    return AddLocked(std::move(r));
  }

  bool HttpSendRequestA(Handle request, std::string_view headers, std::span<const std::byte> body) override {
    // The transfer runs without the lock; the request's fields are copied out and back.
    std::string url, agent, verb;
    bool secure = false;
    {
      std::lock_guard lock(mutex_);
      auto* r = Get<Request>(request);
      if (r == nullptr) return Fail(platform::ERROR_INVALID_HANDLE), false;
      // A request whose connection or session was closed first has nothing to go out on.
      auto* c = Get<Connection>(r->connection);
      auto* session = c != nullptr ? Get<Session>(c->session) : nullptr;
      if (session == nullptr) return Fail(platform::ERROR_INVALID_HANDLE), false;
      agent = session->agent;
      secure = (r->flags & platform::INTERNET_FLAG_SECURE) != 0;
      const bool bare = c->host.find(':') != std::string::npos && c->host.front() != '[';
      url = std::string(secure ? "https://" : "http://") + (bare ? "[" + c->host + "]" : c->host) + ":" +
            std::to_string(c->port) + r->object;
      verb = r->verb;
    }
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) return Fail(platform::ERROR_NOT_ENOUGH_MEMORY), false;
    std::string answer;
    std::map<std::string, std::string> answerHeaders;
    curl_slist* extra = nullptr;
    std::string lines(headers);
    for (std::size_t at = 0; at < lines.size();) {
      std::size_t end = lines.find("\r\n", at);
      if (end == std::string::npos) end = lines.size();
      if (end > at) extra = curl_slist_append(extra, lines.substr(at, end - at).c_str());
      at = end + 2;
    }
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> extraOwner(extra, curl_slist_free_all);
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, agent.c_str());
    if (verb != "GET") curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, verb.c_str());
    if (!body.empty()) {
      curl_easy_setopt(h, CURLOPT_POSTFIELDS, reinterpret_cast<const char*>(body.data()));
      curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    if (extra != nullptr) curl_easy_setopt(h, CURLOPT_HTTPHEADER, extra);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &answerHeaders);
    // Redirects are followed as the system's library does; a secure request never drops to HTTP.
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    // The loopback address is never reached through a proxy of the environment.
    curl_easy_setopt(h, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    const CURLcode code = curl_easy_perform(h);
    if (code != CURLE_OK) return Fail(ErrorOf(code)), false;
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);

    std::lock_guard lock(mutex_);
    auto* r = Get<Request>(request);
    if (r == nullptr) return Fail(platform::ERROR_INVALID_HANDLE), false;
    r->sent = true;
    r->status = status;
    r->headers = std::move(answerHeaders);
    r->body = std::move(answer);
    r->read = 0;
    return true;
  }

  bool HttpQueryInfoA(Handle request, DWORD infoLevel, std::span<std::byte> buffer, DWORD& length) override {
    std::lock_guard lock(mutex_);
    auto* r = Get<Request>(request);
    if (r == nullptr) return Fail(platform::ERROR_INVALID_HANDLE), false;
    if (!r->sent) return Fail(platform::ERROR_INTERNET_INCORRECT_HANDLE_TYPE), false;
    std::string text;
    switch (infoLevel & 0xFFFF) {
      case platform::HTTP_QUERY_STATUS_CODE:
        text = std::to_string(r->status);
        break;
      case platform::HTTP_QUERY_CONTENT_LENGTH: {
        auto it = r->headers.find("content-length");
        if (it == r->headers.end()) return Fail(platform::ERROR_HTTP_HEADER_NOT_FOUND), false;
        text = it->second;
        break;
      }
      default:
        return Fail(platform::ERROR_INVALID_PARAMETER), false;
    }
    if (infoLevel & platform::HTTP_QUERY_FLAG_NUMBER) {
      std::uint32_t number = 0;
      std::from_chars(text.data(), text.data() + text.size(), number);
      if (buffer.size() < sizeof number) {
        length = sizeof number;
        return Fail(platform::ERROR_INSUFFICIENT_BUFFER), false;
      }
      std::memcpy(buffer.data(), &number, sizeof number);
      length = sizeof number;
      return true;
    }
    if (buffer.size() < text.size() + 1) {
      length = static_cast<DWORD>(text.size() + 1);
      return Fail(platform::ERROR_INSUFFICIENT_BUFFER), false;
    }
    std::memcpy(buffer.data(), text.data(), text.size());
    buffer[text.size()] = std::byte{0};
    length = static_cast<DWORD>(text.size());
    return true;
  }

  bool InternetReadFile(Handle request, std::span<std::byte> buffer, DWORD& bytesRead) override {
    std::lock_guard lock(mutex_);
    bytesRead = 0;
    auto* r = Get<Request>(request);
    if (r == nullptr) return Fail(platform::ERROR_INVALID_HANDLE), false;
    if (!r->sent) return Fail(platform::ERROR_INTERNET_INCORRECT_HANDLE_TYPE), false;
    const std::size_t n = std::min(buffer.size(), r->body.size() - r->read);
    std::memcpy(buffer.data(), r->body.data() + r->read, n);
    r->read += n;
    bytesRead = static_cast<DWORD>(n);
    return true;
  }

  bool InternetCloseHandle(Handle handle) override {
    std::lock_guard lock(mutex_);
    if (objects_.erase(handle) == 0) return Fail(platform::ERROR_INVALID_HANDLE), false;
    return true;
  }

 private:
  template <typename T>
  bool Is(Handle h) {
    auto it = objects_.find(h);
    return it != objects_.end() && std::holds_alternative<T>(*it->second);
  }
  template <typename T>
  T* Get(Handle h) {
    auto it = objects_.find(h);
    return it == objects_.end() ? nullptr : std::get_if<T>(it->second.get());
  }
  Handle Add(Object o) {
    std::lock_guard lock(mutex_);
    return AddLocked(std::move(o));
  }
  Handle AddLocked(Object o) {
    const Handle h = next_;
    next_ += 4;
    objects_.emplace(h, std::make_unique<Object>(std::move(o)));
    return h;
  }
  static Handle Fail(DWORD error) {
    t_lastError = error;
    return platform::kNullHandle;
  }

  std::mutex mutex_;
  Handle next_ = 0xCC0004;
  std::map<Handle, std::unique_ptr<Object>> objects_;
};

}  // namespace

std::unique_ptr<platform::Http> MakeHostHttp() { return std::make_unique<CurlHttp>(); }

}  // namespace sim
