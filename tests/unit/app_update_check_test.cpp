// The update check: addresses, version order, the update file, the message chosen, and the
// download over a scripted HTTP client into a simulated desktop.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "app/session.h"
#include "app/update_check.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"

namespace {

using platform::DWORD;

TEST(UpdateUrl, SplitsHostPortAndPath) {
  struct Case {
    const char* url;
    bool ok;
    DWORD error;
    bool secure;
    const char* host;
    unsigned port;
    const char* path;
  };
  const Case cases[] = {
      {"updates.example/updates/a.ini", false, 1, false, "", 0, ""},
      {"https://updates.example/updates/a.ini", true, 0, true, "updates.example", 443, "/updates/a.ini"},
      {"http://updates.example", true, 0, false, "updates.example", 80, "/"},
      {"HTTP://127.0.0.1:8080/updates/a.ini", true, 0, false, "127.0.0.1", 8080, "/updates/a.ini"},
      {"https://h:8443", true, 0, true, "h", 8443, "/"},
      {"http://[::1]:81/x?y=1", true, 0, false, "::1", 81, "/x?y=1"},
      {"http://h:/x", false, 12005, false, "", 0, ""},
      {"http://h:0/x", false, 12005, false, "", 0, ""},
      {"http://h:65536/x", false, 12005, false, "", 0, ""},
      {"http://h:8o/x", false, 12005, false, "", 0, ""},
      {"http:///x", false, 12005, false, "", 0, ""},
      {"ftp://h/x", false, 12006, false, "", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    DWORD error = 0;
    auto parts = app::SplitUrl(c.url, error);
    ASSERT_EQ(parts.has_value(), c.ok);
    if (!c.ok) {
      EXPECT_EQ(error, c.error);
      continue;
    }
    EXPECT_EQ(parts->secure, c.secure);
    EXPECT_EQ(parts->host, c.host);
    EXPECT_EQ(parts->port, c.port);
    EXPECT_EQ(parts->path, c.path);
  }
}

// A machine installed for the tests that need the platform's comparison and texts.
class WithMachine : public ::testing::Test {
 protected:
  sim::ScopedSimMachine sim_{sim::MachineBuilder().Build()};
};

TEST_F(WithMachine, VersionsCompareNumberByNumber) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  };
  const Case cases[] = {
      {"0.10", "0.2", 1},
      {"0.2", "0.10", -1},
      {"0.2.0", "0.2", 0},
      {"1.0", "1.0.1", -1},
      {"1.0.1", "1.0", 1},
      {"0.2.0-RC", "0.2.0-rc", 0},
      {"0.3-beta", "0.3-BETA", 0},
      {"0.2.0", "0.2.0", 0},
      {"", "0.2.0", -1},
      {"010", "10", 0},
      {"1.2 ", " 1.2", 0},
      {"2", "10", -1},
      {"99999999999999999999", "99999999999999999998", 1},
      {"0.2.b", "0.2.A", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    const int r = app::CompareVersions(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.order);
  }
  EXPECT_EQ(app::NormaliseVersion("0, 2, 0, 0"), "0.2.0.0");
  EXPECT_EQ(app::NormaliseVersion("1,2"), "1.2");
}

TEST(UpdateFile, ReadsKeyValueLines) {
  const auto f = app::ParseUpdateFile(
      "\xEF\xBB\xBF"
      "currentversion=0.3.0\r\nNotifyText=Faster scans = fewer waits\r\n\r\nnot a line\n=empty key\n"
      "URL=https://h/u/umbrascope-0.3.0.exe\rCurrentVersion=9.9\n");
  EXPECT_EQ(f.Value("CurrentVersion"), "0.3.0");  // keys without regard to case; the first counts
  EXPECT_EQ(f.Value("NotifyText"), "Faster scans = fewer waits");  // split at the first "="
  EXPECT_EQ(f.Value("URL"), "https://h/u/umbrascope-0.3.0.exe");
  EXPECT_FALSE(f.Value("").has_value());
  EXPECT_FALSE(f.Value("Missing").has_value());
}

TEST_F(WithMachine, DecisionAndItsMessage) {
  struct Case {
    const char* what;
    const char* file;
    app::UpdateOutcome outcome;
    const char* message;
    const char* fileName;
    bool program;
  };
  const char* kNothing = "Nothing to update - you're still using the newest version.";
  const Case cases[] = {
      {"same version", "CurrentVersion=0.2.0\nURL=http://h/a.exe", app::UpdateOutcome::kUpToDate, kNothing,
       "", false},
      {"same, other case", "CurrentVersion=0.2.0-RC\n", app::UpdateOutcome::kUpToDate, kNothing, "", false},
      {"older", "CurrentVersion=0.1.9\n", app::UpdateOutcome::kUpToDate, kNothing, "", false},
      {"no version at all", "NotifyText=x\n", app::UpdateOutcome::kUpToDate, kNothing, "", false},
      {"newer, no URL", "CurrentVersion=0.10\nNotifyText=Read the news.", app::UpdateOutcome::kNewerNoUrl,
       "There's a new version, 0.10, available.\nRead the news.", "", false},
      {"newer program", "CurrentVersion=0.3\nNotifyText=New.\nURL=https://h/d/umbrascope-setup.exe",
       app::UpdateOutcome::kNewerOffer,
       "There's a new version, 0.3, available.\nNew.\nDo you want to download and install it?",
       "umbrascope-setup.exe", true},
      {"newer archive", "CurrentVersion=0.3\nNotifyText=New.\nURL=https://h/d/umbrascope.zip?x=1",
       app::UpdateOutcome::kNewerOffer,
       "There's a new version, 0.3, available.\nNew.\nDo you want to download it?", "umbrascope.zip", false},
      {"upper-case EXE is no program", "CurrentVersion=0.3\nURL=https://h/d/SETUP.EXE",
       app::UpdateOutcome::kNewerOffer,
       "There's a new version, 0.3, available.\n\nDo you want to download it?", "SETUP.EXE", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto d = app::DecideUpdate(app::ParseUpdateFile(c.file), "0.2.0-rc");
    EXPECT_EQ(d.outcome, c.outcome);
    EXPECT_EQ(d.message, c.message);
    EXPECT_EQ(d.fileName, c.fileName);
    EXPECT_EQ(d.isProgram, c.program);
  }
  EXPECT_EQ(app::SearchFailed("Could not find server!").message,
            "An unknown error occured while trying to searcg for updates:\nCould not find server!");
}

TEST_F(WithMachine, ErrorTexts) {
  EXPECT_EQ(app::InternetErrorText(18), "File not found on server!");
  EXPECT_EQ(app::InternetErrorText(12007), "Could not find server!");
  EXPECT_EQ(app::InternetErrorText(12029), "Could not connect to server!");
  EXPECT_EQ(app::InternetErrorText(5), "5: Access is denied.");  // the system's text, its line end dropped
  EXPECT_EQ(app::InternetErrorText(12157), "Unknown error #12157");
}

TEST(UpdateAddress, JoinsServerAndFile) {
  EXPECT_EQ(app::UpdateAddress("https://u.example"), "https://u.example/updates/umbrascope.ini");
  EXPECT_EQ(app::UpdateAddress("http://127.0.0.1:8000/"), "http://127.0.0.1:8000/updates/umbrascope.ini");
}

// An HTTP client that answers from a table of addresses, as the system's library would.
class ScriptedHttp final : public platform::Http {
 public:
  struct Answer {
    long status = 200;
    std::string body;
    DWORD sendError = 0;    // the request fails to send
    DWORD readErrorAt = 0;  // reading fails after this many bytes (0: never)
    bool contentLength = true;
  };
  std::map<std::string, Answer> answers;  // "host:port/path" → answer
  std::vector<std::string> requests;      // "agent|host:port/path|secure"
  std::vector<std::size_t> readSizes;
  int open = 0;

  DWORD GetLastError() override { return error_; }
  platform::Handle InternetOpenA(std::string_view agent, DWORD, std::optional<std::string_view>,
                                 std::optional<std::string_view>, DWORD) override {
    agent_ = agent;
    return New(Obj{});
  }
  platform::Handle InternetConnectA(platform::Handle, std::string_view server, std::uint16_t port,
                                    std::optional<std::string_view>, std::optional<std::string_view>, DWORD,
                                    DWORD) override {
    Obj o;
    o.target = std::string(server) + ":" + std::to_string(port);
    return New(o);
  }
  platform::Handle HttpOpenRequestA(platform::Handle c, std::string_view, std::string_view object,
                                    std::optional<std::string_view>, std::optional<std::string_view>,
                                    DWORD flags) override {
    Obj o;
    o.target = objects_[c].target + std::string(object);
    o.secure = (flags & platform::INTERNET_FLAG_SECURE) != 0;
    return New(o);
  }
  bool HttpSendRequestA(platform::Handle r, std::string_view, std::span<const std::byte>) override {
    auto& o = objects_[r];
    requests.push_back(agent_ + "|" + o.target + "|" + (o.secure ? "secure" : "plain"));
    auto it = answers.find(o.target);
    if (it == answers.end()) return error_ = platform::ERROR_INTERNET_CANNOT_CONNECT, false;
    if (it->second.sendError != 0) return error_ = it->second.sendError, false;
    o.answer = &it->second;
    return true;
  }
  bool HttpQueryInfoA(platform::Handle r, DWORD level, std::span<std::byte> buffer, DWORD& length) override {
    auto& o = objects_[r];
    std::string text;
    if (level == platform::HTTP_QUERY_STATUS_CODE) text = std::to_string(o.answer->status);
    if (level == platform::HTTP_QUERY_CONTENT_LENGTH) {
      if (!o.answer->contentLength) return error_ = platform::ERROR_HTTP_HEADER_NOT_FOUND, false;
      text = std::to_string(o.answer->body.size());
    }
    if (buffer.size() < text.size() + 1) return error_ = platform::ERROR_INSUFFICIENT_BUFFER, false;
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
    length = static_cast<DWORD>(text.size());
    return true;
  }
  bool InternetReadFile(platform::Handle r, std::span<std::byte> buffer, DWORD& n) override {
    auto& o = objects_[r];
    readSizes.push_back(buffer.size());
    const auto& a = *o.answer;
    if (a.readErrorAt != 0 && o.read >= a.readErrorAt)
      return error_ = platform::ERROR_INTERNET_CONNECTION_RESET, false;
    n = static_cast<DWORD>(std::min(buffer.size(), a.body.size() - o.read));
    std::memcpy(buffer.data(), a.body.data() + o.read, n);
    o.read += n;
    return true;
  }
  bool InternetCloseHandle(platform::Handle h) override {
    if (objects_.erase(h) == 0) return false;
    --open;
    return true;
  }

 private:
  struct Obj {
    std::string target;
    bool secure = false;
    const Answer* answer = nullptr;
    std::size_t read = 0;
  };
  platform::Handle New(Obj o) {
    ++open;
    objects_[next_] = std::move(o);
    return next_++;
  }
  std::map<platform::Handle, Obj> objects_;
  platform::Handle next_ = 100;
  std::string agent_;
  DWORD error_ = 0;
};

class UpdateCheck : public ::testing::Test {
 protected:
  UpdateCheck() {
    sim::MachineBuilder b;
    b.machine().system.shellFolders[16] = u"C:\\Documents and Settings\\User\\Desktop";
    b.Folder(u"C:\\Documents and Settings\\User\\Desktop");
    b.File(u"C:\\Documents and Settings\\User\\Desktop\\umbrascope.zip", "mine");
    sim_ = std::make_unique<sim::ScopedSimMachine>(b.Build(), nullptr, &http_);
    app::RunStartup();
  }
  // The file's bytes, or nullopt when it does not exist.
  std::optional<std::string> Read(const std::string& path) {
    auto& k32 = sim_->platform().kernel32;
    const auto h = k32.CreateFileA(path, 0x80000000u, 1, 3, 0);
    if (h == platform::kInvalidHandle) return std::nullopt;
    std::string out;
    std::byte buf[4096];
    DWORD n = 0;
    while (k32.ReadFile(h, buf, n) && n > 0) out.append(reinterpret_cast<const char*>(buf), n);
    k32.CloseHandle(h);
    return out;
  }
  std::vector<std::string> DesktopFiles() {
    std::vector<std::string> names;
    auto& k32 = sim_->platform().kernel32;
    platform::Kernel32::FindDataA data;
    const auto h = k32.FindFirstFileA(app::DesktopFolder() + "*", data);
    if (h == platform::kInvalidHandle) return names;
    do {
      const std::string n(data.fileName);
      if (n != "." && n != "..") names.push_back(n);
    } while (k32.FindNextFileA(h, data));
    k32.FindClose(h);
    return names;
  }

  ScriptedHttp http_;
  std::unique_ptr<sim::ScopedSimMachine> sim_;
};

TEST_F(UpdateCheck, FetchesTheFileAndDecides) {
  http_.answers["127.0.0.1:8000/updates/umbrascope.ini"] = {200, "CurrentVersion=0.10\nNotifyText=n"};
  const auto d = app::CheckForUpdates("http://127.0.0.1:8000/updates/umbrascope.ini", "0.2.0", "Umbrascope");
  EXPECT_EQ(d.outcome, app::UpdateOutcome::kNewerNoUrl);
  EXPECT_EQ(d.message, "There's a new version, 0.10, available.\nn");
  EXPECT_EQ(http_.requests,
            std::vector<std::string>{"Umbrascope|127.0.0.1:8000/updates/umbrascope.ini|plain"});
  EXPECT_EQ(http_.open, 0) << "every handle is closed";
}

TEST_F(UpdateCheck, StatusesAndFailures) {
  struct Case {
    const char* what;
    ScriptedHttp::Answer answer;
    const char* message;
  };
  const Case cases[] = {
      {"404",
       {404, "gone"},
       "An unknown error occured while trying to searcg for updates:\nFile not found on server!"},
      {"500 read like content",
       {500, "CurrentVersion=0.2.0"},
       "Nothing to update - you're still using the newest version."},
      {"not resolved",
       {200, "", 12007},
       "An unknown error occured while trying to searcg for updates:\nCould not find server!"},
      {"cut short",
       {200, "CurrentVersion=9\nURL=x", 0, 4},
       "An unknown error occured while trying to searcg for updates:\nUnknown error #12031"},
      {"no length header",
       {200, "CurrentVersion=0.2.0", 0, 0, false},
       "Nothing to update - you're still using the newest version."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    http_.answers["u.example:443/updates/umbrascope.ini"] = c.answer;
    EXPECT_EQ(app::CheckForUpdates("https://u.example/updates/umbrascope.ini", "0.2.0", "U").message,
              c.message);
    EXPECT_EQ(http_.open, 0);
  }
  EXPECT_EQ(http_.requests.back(), "U|u.example:443/updates/umbrascope.ini|secure");
  EXPECT_EQ(app::CheckForUpdates("u.example/updates/umbrascope.ini", "0.2.0", "U").message,
            "An unknown error occured while trying to searcg for updates:\n1: Incorrect function.");
  EXPECT_EQ(app::CheckForUpdates("http://nowhere:1/x", "0.2.0", "U").message,
            "An unknown error occured while trying to searcg for updates:\nCould not connect to server!");
}

TEST_F(UpdateCheck, ReadsInBlocksOfTheBlockSize) {
  http_.answers["h:80/big"] = {200, std::string(10000, 'x')};
  std::string got;
  app::HttpDownload d(http_, "U");
  ASSERT_TRUE(d.Get("http://h/big", [&](std::span<const std::byte> b) -> DWORD {
    got.append(reinterpret_cast<const char*>(b.data()), b.size());
    return 0;
  }));
  EXPECT_EQ(got.size(), 10000u);
  EXPECT_EQ(d.received(), 10000);
  EXPECT_EQ(d.expectedSize(), 10000);
  EXPECT_EQ(http_.readSizes, (std::vector<std::size_t>{4096, 4096, 4096, 4096}));
}

TEST_F(UpdateCheck, DownloadNeverReplacesAndLeavesNothingHalfWritten) {
  http_.answers["h:443/d/umbrascope.zip"] = {200, "new archive"};
  http_.answers["h:443/d/broken.zip"] = {200, "abcdefgh", 0, 4};
  auto offer = [](const char* url) {
    return app::DecideUpdate(app::ParseUpdateFile(std::string("CurrentVersion=1\nURL=") + url), "0.2.0");
  };
  const std::string desktop = app::DesktopFolder();
  ASSERT_EQ(desktop, "C:\\Documents and Settings\\User\\Desktop\\");

  auto r = app::DownloadUpdate(offer("https://h/d/umbrascope.zip"), desktop, "U");
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.savedName, "umbrascope-2.zip");
  EXPECT_EQ(r.message, "The update has been downloaded and saved as umbrascope-2.zip on your desktop.");
  EXPECT_EQ(Read(desktop + "umbrascope.zip"), "mine");
  EXPECT_EQ(Read(desktop + "umbrascope-2.zip"), "new archive");
  r = app::DownloadUpdate(offer("https://h/d/umbrascope.zip"), desktop, "U");
  EXPECT_EQ(r.savedName, "umbrascope-3.zip");

  r = app::DownloadUpdate(offer("https://h/d/broken.zip"), desktop, "U");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "An unknown error occured while trying to download the update:\nUnknown error #12031");
  r = app::DownloadUpdate(offer("https://h/d/missing.zip"), desktop, "U");
  EXPECT_EQ(r.message,
            "An unknown error occured while trying to download the update:\nCould not connect to server!");
  // A name that would leave the folder is refused before anything is fetched.
  r = app::DownloadUpdate(offer("https://h/d/..\\..\\evil.exe"), desktop, "U");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(DesktopFiles(),
            (std::vector<std::string>{"umbrascope-2.zip", "umbrascope-3.zip", "umbrascope.zip"}));
  EXPECT_EQ(http_.open, 0);
}

TEST_F(UpdateCheck, ServerFromOptionRegistryOrDefault) {
  EXPECT_EQ(app::UpdateServer(std::nullopt), "https://updates.umbrascope.invalid");
  EXPECT_EQ(app::UpdateServer(std::string("http://127.0.0.1:1")), "http://127.0.0.1:1");
}

TEST(UpdateServer, RegistryValueOverridesOurs) {
  sim::MachineBuilder b;
  b.StringValue(u"HKEY_CURRENT_USER\\Software\\Umbrascope", u"UpdateServer", u"https://mirror.example:8443 ");
  sim::ScopedSimMachine sim(b.Build());
  EXPECT_EQ(app::UpdateServer(std::nullopt), "https://mirror.example:8443");
  EXPECT_EQ(app::UpdateServer(std::string("http://x")), "http://x");
}

}  // namespace
