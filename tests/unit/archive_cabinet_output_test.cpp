// Cabinets written by the cabinet writer through the host's compressor: the file table, the
// contents an extractor gets back, and the failures that must surface as exceptions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>

#include "app/session.h"
#include "archive/cabinet_writer.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"
#include "tests/unit/cabinet_test_support.h"

namespace {

namespace fs = std::filesystem;
using archive::ECabinetError;
using archive::TCabinetWriter;
using testing_support::CabEntry;
using testing_support::HostFileHandler;

constexpr std::uint16_t Dos(int y, int m, int d) {
  return static_cast<std::uint16_t>(((y - 1980) << 9) | (m << 5) | d);
}
constexpr std::uint16_t DosT(int h, int mi, int s) {
  return static_cast<std::uint16_t>((h << 11) | (mi << 5) | (s / 2));
}

struct Source {
  std::string cabName;  // 8-bit, code page 1252
  std::string content;
  std::uint16_t date, time, attributes;
  bool execute = false;
  std::string expectedName;  // UTF-8
};

std::string Repeated(const std::string& piece, std::size_t bytes) {
  std::string s;
  while (s.size() < bytes) s += piece;
  s.resize(bytes);
  return s;
}

std::string Noise(std::size_t bytes) {
  std::mt19937 gen(7);
  std::string s(bytes, '\0');
  for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

// A stored name as UTF-8: UTF-8 itself when the entry says so, else the 8-bit code page
// (the test names use only characters that Latin-1 and code page 1252 share).
std::string NameAsUtf8(const CabEntry& e) {
  if (e.attributes & platform::CAB_ATTRIBUTE_NAME_IS_UTF) return e.name;
  std::string out;
  for (unsigned char c : e.name) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

class CabinetOutput : public ::testing::Test {
 protected:
  CabinetOutput()
      : sim_(sim::MachineBuilder().Build(), app::HostCabinet()),
        scope_(sim_.platform()),
        root_(fs::temp_directory_path() / ("umbrascope-cab-" + std::to_string(std::random_device{}()))),
        files_(root_) {
    fs::create_directories(root_ / "out");
    fs::create_directories(root_ / "tmp");
  }
  ~CabinetOutput() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // The writer over host files; sources come with the dates and attributes of `sources`.
  void Attach(TCabinetWriter& w, const std::vector<Source>& sources) {
    w.FileHandler = &files_;
    w.OnGetTempFile = [this](std::string& name, bool& ok) {
      name = "tmp\\t" + std::to_string(++temps_) + ".tmp";
      testing_support::WriteHostFile(files_.HostPath(name), "");  // made as GetTempFileNameA makes it
      ok = true;
    };
    for (std::size_t i = 0; i < sources.size(); ++i) {
      info_["src\\" + std::to_string(i)] = &sources[i];
      testing_support::WriteHostFile(files_.HostPath("src\\" + std::to_string(i)), sources[i].content);
    }
    w.OnGetOpenInfo = [this](const std::string& name, std::uint16_t& date, std::uint16_t& time,
                             std::uint16_t& attributes, std::int32_t& handle, int& result) {
      if (auto it = info_.find(name); it != info_.end()) {
        date = it->second->date;
        time = it->second->time;
        attributes = it->second->attributes;
      }
      handle = files_.Open(name, archive::kOpenReadOnly | archive::kOpenBinary, 0, result);
    };
  }

  std::vector<std::uint8_t> Cabinet(const std::string& name = "out\\test.cab") {
    return testing_support::ReadHostFile(files_.HostPath(name));
  }

  sim::SimPlatform sim_;
  platform::ScopedPlatform scope_;
  fs::path root_;
  HostFileHandler files_;
  std::map<std::string, const Source*> info_;
  int temps_ = 0;
};

struct Case {
  const char* what;
  std::vector<Source> sources;
};

const Case kCases[] = {
    {"several files of more than one block",
     {{"C:\\WINDOWS\\system32\\ghost.sys", Repeated("ghost driver text ", 100000), Dos(2009, 7, 14),
       DosT(3, 4, 58), 0x20, false, "C:\\WINDOWS\\system32\\ghost.sys"},
      {"C:\\WINDOWS\\noise.bin", Noise(40000), Dos(1999, 12, 31), DosT(23, 59, 58), 0x21, false,
       "C:\\WINDOWS\\noise.bin"},
      {"requested-files.log", "+ added: C:\\WINDOWS\\ghost.sys\r\n", Dos(2026, 1, 2), DosT(12, 0, 0), 0x20,
       false, "requested-files.log"}}},
    {"a name outside ASCII in the code page",
     {{"C:\\Temp\\caf\xE9 \xFC"
       "ber.txt",
       "accents", Dos(2020, 2, 29), DosT(10, 30, 20), 0x20, false,
       "C:\\Temp\\caf\xC3\xA9 \xC3\xBC"
       "ber.txt"}}},
    {"an empty file among others",
     {{"a.txt", "first", Dos(2001, 1, 1), DosT(1, 1, 2), 0x20, false, "a.txt"},
      {"C:\\empty.dat", "", Dos(2002, 2, 2), DosT(2, 2, 2), 0x20, false, "C:\\empty.dat"},
      {"b.txt", "last", Dos(2003, 3, 3), DosT(3, 3, 4), 0x20, false, "b.txt"}}},
    {"hidden, system and read-only attributes and the execute flag",
     {{"C:\\x\\hidden.exe", "MZ", Dos(2010, 5, 6), DosT(7, 8, 10), 0x27, true, "C:\\x\\hidden.exe"}}},
};

TEST_F(CabinetOutput, HoldsTheFilesWithTheirNamesAttributesAndTimes) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    TCabinetWriter w;
    Attach(w, c.sources);
    w.CreateCabinet("out\\test.cab", "", 1, 0x7FFFFFFF, 0x7FFFFFFF);
    for (std::size_t i = 0; i < c.sources.size(); ++i)
      w.AddFile("src\\" + std::to_string(i), c.sources[i].cabName, archive::kCompressMSZIP,
                c.sources[i].execute ? 1 : 0);
    w.FlushCabinet(true);  // as the archive asks: no next cabinet is named, so this one is complete
    w.CloseCabinet();

    auto entries = testing_support::ReadCabinetEntries(Cabinet());
    ASSERT_EQ(entries.size(), c.sources.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const auto& e = entries[i];
      const auto& s = c.sources[i];
      SCOPED_TRACE(s.expectedName);
      EXPECT_EQ(NameAsUtf8(e), s.expectedName);
      EXPECT_EQ(e.size, s.content.size());
      EXPECT_EQ(e.date, s.date);
      EXPECT_EQ(e.time, s.time);
      EXPECT_EQ(e.attributes & 0x7F, s.attributes | (s.execute ? 0x40 : 0));
      EXPECT_EQ(e.compression & platform::tcompMASK_TYPE, platform::tcompTYPE_MSZIP);
    }
#ifndef _WIN32
    // What an extractor gets back.
    auto cab = files_.HostPath("out\\test.cab").string();
    ASSERT_EQ(std::system(("cabextract -q -t '" + cab + "' >/dev/null 2>&1").c_str()), 0);
    auto into = root_ / "extracted";
    fs::remove_all(into);
    ASSERT_EQ(std::system(("cabextract -q -d '" + into.string() + "' '" + cab + "' >/dev/null 2>&1").c_str()),
              0);
    for (const auto& s : c.sources) {
      std::string rel = s.expectedName;
      for (auto& ch : rel)
        if (ch == '\\') ch = '/';
      auto bytes = testing_support::ReadHostFile(into / rel);
      EXPECT_EQ(std::string(bytes.begin(), bytes.end()), s.content) << rel;
    }
#endif
  }
}

// A source that cannot be opened fails that one file with the interface's error, and the
// cabinet goes on to hold the others.
TEST_F(CabinetOutput, AMissingSourceRaisesAndTheRestIsStillWritten) {
  std::vector<Source> sources{{"kept.txt", "kept", Dos(2012, 6, 1), DosT(6, 0, 0), 0x20, false, "kept.txt"}};
  TCabinetWriter w;
  Attach(w, sources);
  w.OnGetOpenInfo = nullptr;  // the writer's own open step, over the handler
  w.FileSupport = false;
  w.CreateCabinet("out\\test.cab", "", 1, 0x7FFFFFFF, 0x7FFFFFFF);
  try {
    w.AddFile("src\\missing", "missing.txt", archive::kCompressMSZIP, 0);
    FAIL() << "no exception";
  } catch (const ECabinetError& e) {
    EXPECT_EQ(e.Operation(), platform::FCIERR_OPEN_SRC);
    EXPECT_EQ(e.Type(), 2);
    EXPECT_STREQ(e.what(), "Cabinet error 1 (type 2)");
  }
  w.AddFile("src\\0", "kept.txt", archive::kCompressMSZIP, 0);
  w.FlushCabinet(false);
  w.CloseCabinet();
  auto entries = testing_support::ReadCabinetEntries(Cabinet());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "kept.txt");
  EXPECT_EQ(entries[0].size, 4u);
  EXPECT_EQ(entries[0].date, 0);  // no file support: no time
  EXPECT_EQ(files_.OpenCount(), 0u);
}

TEST_F(CabinetOutput, ACabinetThatCannotBeCreatedRaisesAndLeavesNoFile) {
  std::vector<Source> sources{{"a.txt", "a", Dos(2012, 6, 1), DosT(6, 0, 0), 0x20, false, "a.txt"}};
  TCabinetWriter w;
  Attach(w, sources);
  w.CreateCabinet("no-such-folder\\test.cab", "", 1, 0x7FFFFFFF, 0x7FFFFFFF);
  w.AddFile("src\\0", "a.txt", archive::kCompressMSZIP, 0);
  try {
    w.FlushCabinet(false);
    FAIL() << "no exception";
  } catch (const ECabinetError& e) {
    EXPECT_EQ(e.Operation(), platform::FCIERR_CAB_FILE) << e.what();
  }
  w.CloseCabinet();
  EXPECT_FALSE(fs::exists(root_ / "no-such-folder"));
}

// An exception thrown by the file handler while the compressor runs comes out of the writer's
// call as itself, not as a cabinet error and not as a crash inside the library.
TEST_F(CabinetOutput, AnExceptionFromTheHandlerPropagates) {
  struct Throwing : HostFileHandler {
    using HostFileHandler::HostFileHandler;
    std::uint32_t Read(std::int32_t, void*, std::uint32_t, int&) override {
      throw std::runtime_error("disk gone");
    }
  };
  std::vector<Source> sources{{"a.txt", "abc", Dos(2012, 6, 1), DosT(6, 0, 0), 0x20, false, "a.txt"}};
  Throwing throwing(root_);
  TCabinetWriter w;
  Attach(w, sources);
  w.FileHandler = &throwing;
  w.OnGetOpenInfo = [&](const std::string& name, std::uint16_t&, std::uint16_t&, std::uint16_t&,
                        std::int32_t& h, int& rc) { h = throwing.Open(name, archive::kOpenReadOnly, 0, rc); };
  w.CreateCabinet("out\\test.cab", "", 1, 0x7FFFFFFF, 0x7FFFFFFF);
  try {
    w.AddFile("src\\0", "a.txt", archive::kCompressMSZIP, 0);
    FAIL() << "no exception";
  } catch (const ECabinetError& e) {
    FAIL() << e.what();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "disk gone");
  }
  EXPECT_TRUE(w.IsOpen());
}

}  // namespace
