// The update check: the update file fetched over HTTP(S) from our server, its version compared
// with the program's own, and the newer version downloaded to the desktop when the user asks.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/http.h"
#include "platform/types.h"

namespace app {

// The file the desktop program asks the server for, under "/updates/".
inline constexpr std::string_view kUpdateFileName = "umbrascope.ini";
// Our update server, used unless the registry value or a command-line option names another.
inline constexpr std::string_view kDefaultUpdateServer = "https://updates.umbrascope.invalid";
// Where an administrator sets another server: HKEY_CURRENT_USER\<key>, value <name> (REG_SZ).
inline constexpr std::string_view kUpdateServerKey = "Software\\Umbrascope";
inline constexpr std::string_view kUpdateServerValue = "UpdateServer";

// The error Get answers for an address without "://".
inline constexpr platform::DWORD kErrorNoScheme = 1;
// The error Get answers when the server says 404.
inline constexpr platform::DWORD kErrorNotFound = 18;
// The error of an address whose scheme is neither http nor https.
inline constexpr platform::DWORD kErrorUnrecognizedScheme = 12006;

// An address taken apart: "https://host:port/path".
struct UrlParts {
  bool secure = false;
  std::string host;
  std::uint16_t port = 0;
  std::string path = "/";
};
// nullopt with the reason in `error`: kErrorNoScheme, kErrorUnrecognizedScheme or
// ERROR_INTERNET_INVALID_URL (an empty host or a port that is no number from 1 to 65535).
std::optional<UrlParts> SplitUrl(std::string_view url, platform::DWORD& error);

// One download over the platform's HTTP client: the session lives as long as this object.
class HttpDownload {
 public:
  // Receives each block of the body; a non-zero answer (a system error code) ends the download
  // with that error.
  using Sink = std::function<platform::DWORD(std::span<const std::byte>)>;

  HttpDownload(platform::Http& http, std::string_view userAgent);
  ~HttpDownload();
  HttpDownload(const HttpDownload&) = delete;
  HttpDownload& operator=(const HttpDownload&) = delete;

  // Fetches `url` into `sink`. A 404 answer fails with kErrorNotFound; any other status is read
  // like content. False with the reason in lastError().
  bool Get(std::string_view url, const Sink& sink);

  platform::DWORD lastError() const { return lastError_; }
  std::int64_t received() const { return received_; }
  std::int64_t expectedSize() const { return expected_; }  // Content-Length, 0 when unknown
  std::size_t blockSize = 4096;

 private:
  platform::Http& http_;
  platform::DWORD lastError_ = 0;
  std::int64_t received_ = 0;
  std::int64_t expected_ = 0;
  platform::Handle session_ = platform::kNullHandle;
};

// The text shown for a failed download's error code.
std::string InternetErrorText(platform::DWORD code);

// The update file: "key=value" lines. Keys are matched without regard to case; the first line
// of a key counts.
struct UpdateFile {
  std::map<std::string, std::string> values;  // keys in lower case
  std::optional<std::string> Value(std::string_view key) const;
};
UpdateFile ParseUpdateFile(std::string_view text);

// Versions compared number by number ("0.10" is newer than "0.2"; "1.0" equals "1.0.0"); parts
// that are not numbers compare as text without regard to case. Below 0: `a` is older.
int CompareVersions(std::string_view a, std::string_view b);

// The program's own version from a version resource's text ("0, 2, 0" → "0.2.0").
std::string NormaliseVersion(std::string_view text);

// What the check found, with the message to show.
enum class UpdateOutcome {
  kSearchFailed,  // error: the update file could not be had
  kUpToDate,      // information
  kNewerNoUrl,    // warning: there is a newer version, but nothing to download
  kNewerOffer,    // question (Yes/No): download (and, for a program, install) it?
};
struct UpdateDecision {
  UpdateOutcome outcome = UpdateOutcome::kSearchFailed;
  std::string message;  // the text shown, "\n" between its lines
  std::string version, notifyText, url;
  std::string fileName;    // the URL's last part
  bool isProgram = false;  // fileName ends with ".exe"
};
UpdateDecision DecideUpdate(const UpdateFile& file, std::string_view ownVersion);
UpdateDecision SearchFailed(std::string_view reason);

// Server + "/updates/" + file name; a trailing "/" of the server is not doubled.
std::string UpdateAddress(std::string_view server, std::string_view fileName = kUpdateFileName);
// The server to ask: `override` when given, else the registry value, else ours.
std::string UpdateServer(const std::optional<std::string>& override);

// Fetches the update file from `address` and decides.
UpdateDecision CheckForUpdates(std::string_view address, std::string_view ownVersion,
                               std::string_view userAgent);

// The result of downloading an offered update.
struct DownloadResult {
  bool ok = false;
  std::string message;    // the failure or the "saved as" information
  std::string savedName;  // the name in the folder (with "-2" and so on when the name was taken)
  std::string savedPath;
};
// Downloads decision.url into `folder` (ending in "\"): written under a temporary name and
// renamed to the first free name of fileName, fileName-2, ... so nothing is ever replaced, and a
// failed download leaves nothing behind. Nothing is started here.
DownloadResult DownloadUpdate(const UpdateDecision& decision, std::string_view folder,
                              std::string_view userAgent);

// The desktop folder the update goes to ("<$DESKTOP>\" expanded), ending in "\".
std::string DesktopFolder();

}  // namespace app
