// The update check over the platform's HTTP client, and the download of a newer version.
#include "app/update_check.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <vector>

#include "platform/handles.h"
#include "platform/platform.h"
#include "results/path_macros.h"

namespace app {
namespace {

using platform::DWORD;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

std::string Replace(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// Each handle of the HTTP client closed when it goes out of scope.
class InternetHandle {
 public:
  InternetHandle(platform::Http& http, platform::Handle h) : http_(http), h_(h) {}
  ~InternetHandle() {
    if (h_ != platform::kNullHandle) http_.InternetCloseHandle(h_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  platform::Handle get() const { return h_; }
  explicit operator bool() const { return h_ != platform::kNullHandle; }

 private:
  platform::Http& http_;
  platform::Handle h_;
};

// A header as a number: 0 when it cannot be read (missing, no number).
std::int64_t QueryNumber(platform::Http& http, platform::Handle request, DWORD level) {
  std::byte buffer[32] = {};
  DWORD length = sizeof buffer - 1;
  if (!http.HttpQueryInfoA(request, level, std::span<std::byte>(buffer, sizeof buffer - 1), length)) return 0;
  const char* text = reinterpret_cast<const char*>(buffer);
  std::string_view s(text, strnlen(text, sizeof buffer));
  s = Trim(s);
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return 0;
  return value;
}

bool IsDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string_view> VersionParts(std::string_view v) {
  std::vector<std::string_view> parts;
  v = Trim(v);
  if (v.empty()) return parts;
  for (std::size_t at = 0;;) {
    const std::size_t dot = v.find('.', at);
    parts.push_back(Trim(v.substr(at, dot == std::string_view::npos ? std::string_view::npos : dot - at)));
    if (dot == std::string_view::npos) break;
    at = dot + 1;
  }
  return parts;
}

int CompareNumbers(std::string_view a, std::string_view b) {
  // Long digit runs compare by length first once their leading zeros are gone, so no number
  // is too big.
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

// A name the file system takes as one file in the folder, and nothing else.
bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.size() > 240) return false;
  if (name.back() == '.' || name.back() == ' ') return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"/\\|?*", c) != nullptr;
  });
}

// "name.ext" → "name-<n>.ext".
std::string Numbered(std::string_view name, int n) {
  if (n == 1) return std::string(name);
  const std::size_t dot = name.rfind('.');
  const std::string suffix = "-" + std::to_string(n);
  if (dot == std::string_view::npos || dot == 0) return std::string(name) + suffix;
  return std::string(name.substr(0, dot)) + suffix + std::string(name.substr(dot));
}

}  // namespace

std::optional<UrlParts> SplitUrl(std::string_view url, DWORD& error) {
  const std::size_t sep = url.find("://");
  if (sep == std::string_view::npos) {
    error = kErrorNoScheme;
    return std::nullopt;
  }
  UrlParts parts;
  const std::string scheme = Lower(url.substr(0, sep));
  if (scheme == "https") {
    parts.secure = true;
    parts.port = platform::INTERNET_DEFAULT_HTTPS_PORT;
  } else if (scheme == "http") {
    parts.port = platform::INTERNET_DEFAULT_HTTP_PORT;
  } else {
    error = kErrorUnrecognizedScheme;
    return std::nullopt;
  }
  std::string_view rest = url.substr(sep + 3);
  const std::size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  if (slash != std::string_view::npos) parts.path = std::string(rest.substr(slash));
  // A port after the host (after the brackets of an IPv6 address) is the port to connect to.
  std::string_view host = authority, port;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) {
      error = platform::ERROR_INTERNET_INVALID_URL;
      return std::nullopt;
    }
    host = authority.substr(1, close - 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') {
        error = platform::ERROR_INTERNET_INVALID_URL;
        return std::nullopt;
      }
      port = after.substr(1);
      if (port.empty()) port = "x";
    }
  } else if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
    if (port.empty()) port = "x";
  }
  if (host.empty()) {
    error = platform::ERROR_INTERNET_INVALID_URL;
    return std::nullopt;
  }
  if (!port.empty()) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
      error = platform::ERROR_INTERNET_INVALID_URL;
      return std::nullopt;
    }
    parts.port = static_cast<std::uint16_t>(value);
  }
  parts.host = std::string(host);
  return parts;
}

HttpDownload::HttpDownload(platform::Http& http, std::string_view userAgent) : http_(http) {
  session_ =
      http_.InternetOpenA(userAgent, platform::INTERNET_OPEN_TYPE_PRECONFIG, std::nullopt, std::nullopt, 0);
  if (session_ == platform::kNullHandle) lastError_ = http_.GetLastError();
}

HttpDownload::~HttpDownload() {
  if (session_ != platform::kNullHandle) http_.InternetCloseHandle(session_);
}

bool HttpDownload::Get(std::string_view url, const Sink& sink) {
  if (session_ == platform::kNullHandle) return false;
  auto parts = SplitUrl(url, lastError_);
  if (!parts) return false;
  InternetHandle connection(http_, http_.InternetConnectA(session_, parts->host, parts->port, std::nullopt,
                                                          std::nullopt, platform::INTERNET_SERVICE_HTTP, 0));
  if (!connection) return lastError_ = http_.GetLastError(), false;
  // Always from the server: an update check must not be answered by a cache.
  DWORD flags = platform::INTERNET_FLAG_RELOAD | platform::INTERNET_FLAG_NO_CACHE_WRITE;
  if (parts->secure) flags |= platform::INTERNET_FLAG_SECURE;
  InternetHandle request(
      http_, http_.HttpOpenRequestA(connection.get(), "GET", parts->path, std::nullopt, std::nullopt, flags));
  if (!request) return lastError_ = http_.GetLastError(), false;
  if (!http_.HttpSendRequestA(request.get(), "", {})) return lastError_ = http_.GetLastError(), false;
  if (QueryNumber(http_, request.get(), platform::HTTP_QUERY_STATUS_CODE) == 404) {
    lastError_ = kErrorNotFound;
    return false;
  }
  expected_ = QueryNumber(http_, request.get(), platform::HTTP_QUERY_CONTENT_LENGTH);
  std::vector<std::byte> block(std::max<std::size_t>(blockSize, 1));
  for (;;) {
    DWORD n = 0;
    if (!http_.InternetReadFile(request.get(), block, n)) {
      // A body that breaks off is a failed download, not a shorter file.
      lastError_ = http_.GetLastError();
      return false;
    }
    if (n == 0) break;
    if (const DWORD e = sink(std::span<const std::byte>(block.data(), n)); e != 0) {
      lastError_ = e;
      return false;
    }
    received_ += n;
  }
  lastError_ = 0;
  return true;
}

std::string InternetErrorText(DWORD code) {
  switch (code) {
    case kErrorNotFound:
      return "File not found on server!";
    case platform::ERROR_INTERNET_NAME_NOT_RESOLVED:
      return "Could not find server!";
    case platform::ERROR_INTERNET_CANNOT_CONNECT:
      return "Could not connect to server!";
    default:
      break;
  }
  std::string text(Trim(platform::Current().kernel32.FormatMessageA(code)));
  if (text.empty()) return "Unknown error #" + std::to_string(code);
  return std::to_string(code) + ": " + text;
}

std::optional<std::string> UpdateFile::Value(std::string_view key) const {
  auto it = values.find(Lower(key));
  if (it == values.end()) return std::nullopt;
  return it->second;
}

UpdateFile ParseUpdateFile(std::string_view text) {
  UpdateFile file;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (end < text.size() && text[end] == '\r' && at < text.size() && text[at] == '\n') ++at;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    file.values.emplace(Lower(Trim(line.substr(0, eq))), std::string(line.substr(eq + 1)));
  }
  return file;
}

int CompareVersions(std::string_view a, std::string_view b) {
  const auto pa = VersionParts(a), pb = VersionParts(b);
  for (std::size_t i = 0; i < std::max(pa.size(), pb.size()); ++i) {
    // A missing part counts as 0: "1.0" is "1.0.0".
    const std::string_view x = i < pa.size() ? pa[i] : "0", y = i < pb.size() ? pb[i] : "0";
    int c = 0;
    if (IsDigits(x) && IsDigits(y)) {
      c = CompareNumbers(x, y);
    } else {
      const int r = platform::Current().kernel32.CompareStringA(platform::LOCALE_USER_DEFAULT,
                                                                platform::NORM_IGNORECASE, x, y);
      c = r == platform::CSTR_LESS_THAN ? -1 : (r == platform::CSTR_GREATER_THAN ? 1 : 0);
    }
    if (c != 0) return c;
  }
  return 0;
}

std::string NormaliseVersion(std::string_view text) {
  return Replace(Replace(std::string(text), ", ", "."), ",", ".");
}

UpdateDecision SearchFailed(std::string_view reason) {
  UpdateDecision d;
  d.outcome = UpdateOutcome::kSearchFailed;
  d.message = "An unknown error occured while trying to searcg for updates:\n" + std::string(reason);
  return d;
}

UpdateDecision DecideUpdate(const UpdateFile& file, std::string_view ownVersion) {
  UpdateDecision d;
  d.version = file.Value("CurrentVersion").value_or("");
  d.notifyText = file.Value("NotifyText").value_or("");
  if (CompareVersions(d.version, ownVersion) <= 0) {
    d.outcome = UpdateOutcome::kUpToDate;
    d.message = "Nothing to update - you're still using the newest version.";
    return d;
  }
  const std::string newer = "There's a new version, " + d.version + ", available.\n" + d.notifyText;
  const auto url = file.Value("URL");
  if (!url) {
    d.outcome = UpdateOutcome::kNewerNoUrl;
    d.message = newer;
    return d;
  }
  d.outcome = UpdateOutcome::kNewerOffer;
  d.url = std::string(Trim(*url));
  // The name is the address's last part, without a query or fragment after it.
  std::string_view name = d.url;
  name = name.substr(0, std::min(name.find('?'), name.find('#')));
  d.fileName = std::string(name.substr(name.rfind('/') == std::string_view::npos ? 0 : name.rfind('/') + 1));
  d.isProgram = d.fileName.size() >= 4 && d.fileName.compare(d.fileName.size() - 4, 4, ".exe") == 0;
  d.message =
      newer + (d.isProgram ? "\nDo you want to download and install it?" : "\nDo you want to download it?");
  return d;
}

std::string UpdateAddress(std::string_view server, std::string_view fileName) {
  std::string base(Trim(server));
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base + "/updates/" + std::string(fileName);
}

std::string UpdateServer(const std::optional<std::string>& override) {
  if (override && !override->empty()) return *override;
  auto& advapi = platform::Current().advapi32;
  platform::HKEY key = 0;
  if (advapi.RegOpenKeyExA(platform::HKEY_CURRENT_USER, kUpdateServerKey, 0, platform::KEY_READ, key) ==
      platform::ERROR_SUCCESS) {
    DWORD type = 0;
    std::vector<std::byte> data(2048);
    DWORD size = static_cast<DWORD>(data.size());
    const DWORD e = advapi.RegQueryValueExA(key, kUpdateServerValue, type, data, size);
    advapi.RegCloseKey(key);
    if (e == platform::ERROR_SUCCESS && (type == platform::REG_SZ || type == platform::REG_EXPAND_SZ)) {
      std::string text(reinterpret_cast<const char*>(data.data()), std::min<std::size_t>(size, data.size()));
      text = std::string(Trim(text.substr(0, text.find('\0'))));
      if (!text.empty()) return text;
    }
  }
  return std::string(kDefaultUpdateServer);
}

UpdateDecision CheckForUpdates(std::string_view address, std::string_view ownVersion,
                               std::string_view userAgent) {
  std::string text;
  HttpDownload download(platform::Current().http, userAgent);
  const bool ok = download.Get(address, [&](std::span<const std::byte> block) -> DWORD {
    // An update file is a few lines; a server that sends more is not ours.
    if (text.size() + block.size() > (std::size_t{1} << 20)) return platform::ERROR_FILE_INVALID;
    text.append(reinterpret_cast<const char*>(block.data()), block.size());
    return 0;
  });
  if (!ok) return SearchFailed(InternetErrorText(download.lastError()));
  return DecideUpdate(ParseUpdateFile(text), ownVersion);
}

std::string DesktopFolder() {
  std::string folder = results::ExpandPathMacros("<$DESKTOP>\\");
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

DownloadResult DownloadUpdate(const UpdateDecision& decision, std::string_view folder,
                              std::string_view userAgent) {
  DownloadResult result;
  auto failed = [&](DWORD code) {
    result.ok = false;
    result.message =
        "An unknown error occured while trying to download the update:\n" + InternetErrorText(code);
    return result;
  };
  if (!IsPlainFileName(decision.fileName)) return failed(platform::ERROR_INVALID_NAME);
  auto& k32 = platform::Current().kernel32;
  const std::string dir(folder);

  // The bytes go to a temporary file of our own first.
  std::string temporary;
  platform::KernelFileHandle file;
  for (int n = 1; n <= 100 && !file; ++n) {
    temporary = dir + "~" + decision.fileName + "." + std::to_string(k32.GetCurrentProcessId()) + "-" +
                std::to_string(n) + ".part";
    file.put() = k32.CreateFileA(temporary, platform::GENERIC_WRITE, 0, platform::CREATE_NEW,
                                 platform::FILE_ATTRIBUTE_ARCHIVE);
    if (!file && k32.GetLastError() != platform::ERROR_FILE_EXISTS) return failed(k32.GetLastError());
  }
  if (!file) return failed(platform::ERROR_FILE_EXISTS);

  HttpDownload download(platform::Current().http, userAgent);
  const bool ok = download.Get(decision.url, [&](std::span<const std::byte> block) -> DWORD {
    DWORD written = 0;
    if (!k32.WriteFile(file.get(), block, written) || written != block.size()) {
      const DWORD e = k32.GetLastError();
      return e != 0 ? e : platform::ERROR_NOT_ENOUGH_MEMORY;
    }
    return 0;
  });
  file.reset();
  if (!ok) {
    k32.DeleteFileA(temporary);
    return failed(download.lastError());
  }
  // Into place under the first free name: an existing file is never replaced.
  for (int n = 1; n <= 1000; ++n) {
    const std::string name = Numbered(decision.fileName, n);
    if (k32.MoveFileExA(temporary, dir + name, 0)) {
      result.ok = true;
      result.savedName = name;
      result.savedPath = dir + name;
      result.message = "The update has been downloaded and saved as " + name + " on your desktop.";
      return result;
    }
    const DWORD e = k32.GetLastError();
    if (e != platform::ERROR_ALREADY_EXISTS && e != platform::ERROR_FILE_EXISTS) {
      k32.DeleteFileA(temporary);
      return failed(e);
    }
  }
  k32.DeleteFileA(temporary);
  return failed(platform::ERROR_FILE_EXISTS);
}

}  // namespace app
