// The cabinet writer's own logic against a scripted compressor: what it hands the library, how
// it answers the library's callbacks, and when it raises.
#include <gtest/gtest.h>

#include <optional>

#include "archive/cabinet_writer.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"
#include "tests/unit/cabinet_test_support.h"

namespace {

using archive::ECabinetError;
using archive::TCabinetWriter;

// Records what the writer asks for; each call answers `ok`, failures with `failure` as the
// error record.
class ScriptedCabinet : public platform::Cabinet {
 public:
  platform::Handle FCICreate(platform::CabinetErrorRecord& errors, platform::CabinetCallbacks& cb,
                             const platform::CabinetParameters& p) override {
    errors_ = &errors;
    callbacks = &cb;
    parameters = p;
    ++creates;
    return Answer() ? 42 : platform::kNullHandle;
  }
  bool FCIAddFile(platform::Handle context, std::string_view source, std::string_view name, bool execute,
                  std::uint16_t compression) override {
    EXPECT_EQ(context, 42u);
    lastSource = source;
    lastName = name;
    lastExecute = execute;
    lastCompression = compression;
    return Answer();
  }
  bool FCIFlushCabinet(platform::Handle, bool getNext) override {
    lastGetNext = getNext;
    return Answer();
  }
  bool FCIFlushFolder(platform::Handle) override { return Answer(); }
  bool FCIDestroy(platform::Handle context) override {
    EXPECT_EQ(context, 42u);
    ++destroys;
    return Answer();
  }

  bool ok = true;
  platform::CabinetErrorRecord failure{platform::FCIERR_CAB_FILE, 5, true};
  platform::CabinetCallbacks* callbacks = nullptr;
  platform::CabinetParameters parameters;
  int creates = 0, destroys = 0;
  std::string lastSource, lastName;
  bool lastExecute = false;
  std::optional<bool> lastGetNext;
  std::uint16_t lastCompression = 0xFFFF;

 private:
  bool Answer() {
    if (!ok) *errors_ = failure;
    return ok;
  }
  platform::CabinetErrorRecord* errors_ = nullptr;
};

class WriterFixture : public ::testing::Test {
 protected:
  WriterFixture()
      : sim_(sim::MachineBuilder().Build()),
        platform_{sim_.platform().kernel32, sim_.platform().ntdll, sim_.platform().advapi32,
                  sim_.platform().toolhelp, sim_.platform().shell, cabinet_, sim_.platform().http},
        scope_(platform_),
        files_(".") {
    writer_.FileHandler = &files_;
  }

  void Open(const std::string& name = "C:\\Documents and Settings\\User\\Desktop\\a.cab") {
    writer_.CreateCabinet(name, "disk", 7, 1000, 2000);
  }

  ScriptedCabinet cabinet_;
  sim::SimPlatform sim_;
  platform::Platform platform_;
  platform::ScopedPlatform scope_;
  testing_support::HostFileHandler files_;
  TCabinetWriter writer_;
};

TEST_F(WriterFixture, CreateSplitsTheCabinetNameAndPassesTheParameters) {
  struct Case {
    const char* name;
    const char* cab;
    const char* path;
  } cases[] = {
      {"C:\\Users\\x\\requested-files.cab", "requested-files.cab", "C:\\Users\\x\\"},
      {"D:a.cab", "a.cab", "D:"},
      {"a.cab", "a.cab", ""},
      {"C:\\folder\\", "", "C:\\folder\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writer_.FailOnIncompressible = false;
    Open(c.name);
    EXPECT_EQ(cabinet_.parameters.cabinetName, c.cab);
    EXPECT_EQ(cabinet_.parameters.cabinetPath, c.path);
    EXPECT_EQ(cabinet_.parameters.disk, "disk");
    EXPECT_EQ(cabinet_.parameters.setId, 7);
    EXPECT_EQ(cabinet_.parameters.folderThreshold, 1000u);
    EXPECT_EQ(cabinet_.parameters.maximumCabinetSize, 2000u);
    EXPECT_FALSE(cabinet_.parameters.failOnIncompressible);
    EXPECT_EQ(cabinet_.parameters.cabinetNumber, 0);
  }
  // Each create closed the context before it.
  EXPECT_EQ(cabinet_.destroys, 3);
}

TEST_F(WriterFixture, TheCompressionSelectorBecomesTheLibrarysType) {
  struct Case {
    const char* what;
    std::uint32_t selector;
    std::uint16_t passed;
  } cases[] = {
      {"none", archive::kCompressNone, 0},
      {"MSZIP", archive::kCompressMSZIP, 1},
      {"MSZIP with stray upper bytes", 0x07150001, 1},
      {"Quantum level 7, memory 21", 0x15070002, static_cast<std::uint16_t>(2 + (7 << 4) + (21 << 8))},
      {"LZX with its window placed", 0x1503, 0x1503},
  };
  Open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writer_.AddFile("C:\\src.txt", "src.txt", c.selector, 0);
    EXPECT_EQ(cabinet_.lastCompression, c.passed);
  }
  writer_.AddFile("C:\\src.txt", "in\\cab.txt", archive::kCompressMSZIP, 1);
  EXPECT_TRUE(cabinet_.lastExecute);
  EXPECT_EQ(cabinet_.lastSource, "C:\\src.txt");
  EXPECT_EQ(cabinet_.lastName, "in\\cab.txt");
}

// Asking for a next cabinet that nobody can name would make the library give up the cabinet in
// hand; the writer asks only when something answers.
TEST_F(WriterFixture, FlushAsksForANextCabinetOnlyWhenOneCanBeNamed) {
  Open();
  writer_.FlushCabinet(true);
  EXPECT_EQ(cabinet_.lastGetNext, false);
  writer_.OnGetNextCabinet = [](archive::TCCAB&, std::string&, std::int32_t, bool&) {};
  writer_.FlushCabinet(true);
  EXPECT_EQ(cabinet_.lastGetNext, true);
  writer_.FlushCabinet(false);
  EXPECT_EQ(cabinet_.lastGetNext, false);
}

TEST_F(WriterFixture, FailuresRaiseWithTheErrorRecord) {
  struct Case {
    const char* what;
    platform::CabinetErrorRecord failure;
    const char* message;
  } cases[] = {
      {"flag set", {platform::FCIERR_OPEN_SRC, 2, true}, "Cabinet error 1 (type 2)"},
      // A failed call is never taken for success, whatever the flag says.
      {"flag clear", {platform::FCIERR_NONE, 0, false}, "Cabinet error 0 (type 0)"},
  };
  Open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    cabinet_.ok = false;
    cabinet_.failure = c.failure;
    for (auto step : {+[](TCabinetWriter& w) { w.AddFile("C:\\a", "a", archive::kCompressMSZIP, 0); },
                      +[](TCabinetWriter& w) { w.FlushCabinet(false); }}) {
      try {
        step(writer_);
        ADD_FAILURE() << "no exception";
      } catch (const ECabinetError& e) {
        EXPECT_STREQ(e.what(), c.message);
        EXPECT_EQ(e.Operation(), c.failure.operation);
        EXPECT_EQ(e.Type(), c.failure.type);
      }
      EXPECT_TRUE(writer_.IsOpen());  // the writer stays as it was
    }
  }
  cabinet_.ok = true;
}

TEST_F(WriterFixture, ACreateThatFailsLeavesTheWriterClosed) {
  cabinet_.ok = false;
  cabinet_.failure = {platform::FCIERR_ALLOC_FAIL, 8, true};
  EXPECT_THROW(Open(), ECabinetError);
  EXPECT_FALSE(writer_.IsOpen());
  EXPECT_THROW(writer_.AddFile("C:\\a", "a", archive::kCompressMSZIP, 0), std::logic_error);
  EXPECT_THROW(writer_.FlushCabinet(false), std::logic_error);
}

TEST_F(WriterFixture, ClosingIsDoneOnce) {
  writer_.CloseCabinet();  // nothing open: nothing to do
  EXPECT_EQ(cabinet_.destroys, 0);
  Open();
  writer_.CloseCabinet();
  writer_.CloseCabinet();
  EXPECT_EQ(cabinet_.destroys, 1);
  EXPECT_FALSE(writer_.IsOpen());

  // A destroy that fails raises, and the context is gone all the same.
  Open();
  cabinet_.ok = false;
  EXPECT_THROW(writer_.CloseCabinet(), ECabinetError);
  EXPECT_FALSE(writer_.IsOpen());
  writer_.CloseCabinet();
  EXPECT_EQ(cabinet_.destroys, 2);
  cabinet_.ok = true;
}

TEST_F(WriterFixture, TheTemporaryNameMustFitTheLibrarysBuffer) {
  struct Case {
    std::size_t nameLength;
    int bufferSize;
    bool ok;
  } cases[] = {{5, 6, true}, {6, 6, false}, {7, 6, false}, {0, 1, true}};
  Open();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.nameLength) + " in " + std::to_string(c.bufferSize));
    writer_.OnGetTempFile = [&](std::string& name, bool& success) {
      name = std::string(c.nameLength, 't');
      success = true;
    };
    std::vector<char> buffer(static_cast<std::size_t>(c.bufferSize) + 4, 'x');
    EXPECT_EQ(cabinet_.callbacks->GetTempFile(buffer.data(), c.bufferSize), c.ok);
    if (c.ok) {
      EXPECT_EQ(std::string(buffer.data()), std::string(c.nameLength, 't'));
    }
    EXPECT_EQ(buffer[static_cast<std::size_t>(c.bufferSize)], 'x');  // nothing past the buffer
  }
  writer_.OnGetTempFile = [](std::string& name, bool& success) {
    name = "a";
    success = false;
  };
  char buffer[16];
  EXPECT_FALSE(cabinet_.callbacks->GetTempFile(buffer, sizeof buffer));
}

TEST_F(WriterFixture, CallbacksReachTheEvents) {
  Open();
  auto& cb = *cabinet_.callbacks;
  std::vector<std::string> seen;
  writer_.OnFileStatus = [&](std::int32_t a, std::int32_t b, std::int32_t& r) {
    seen.push_back("file " + std::to_string(a) + " " + std::to_string(b));
    r = 0;
  };
  writer_.OnFolderStatus = [&](std::int32_t a, std::int32_t b, std::int32_t&) {
    seen.push_back("folder " + std::to_string(a) + " " + std::to_string(b));
  };
  writer_.OnCabinetStatus = [&](std::int32_t, std::int32_t actual, std::int32_t& wanted) {
    wanted = actual + 1;
  };
  EXPECT_EQ(cb.Status(platform::statusFile, 10, 20), 0);
  EXPECT_EQ(cb.Status(platform::statusFolder, 3, 4), 0);
  EXPECT_EQ(cb.Status(platform::statusCabinet, 100, 200), 201);
  EXPECT_EQ(cb.Status(3, 0, 0), -1);
  EXPECT_EQ(seen, (std::vector<std::string>{"file 10 20", "folder 3 4"}));

  // Placing a file: the abort flag becomes -1.
  platform::CabinetParameters p;
  std::string placed;
  writer_.OnFilePlaced = [&](const std::string& name, std::int32_t length, bool, bool& abort) {
    placed = name + ":" + std::to_string(length);
    abort = name == "stop";
  };
  EXPECT_EQ(cb.FilePlaced(p, "a.txt", 5, false), 0);
  EXPECT_EQ(placed, "a.txt:5");
  EXPECT_EQ(cb.FilePlaced(p, "stop", 1, false), -1);

  // The next cabinet: refused unless the event clears the abort flag; its name is split.
  EXPECT_FALSE(cb.GetNextCabinet(p, 0));
  writer_.OnGetNextCabinet = [](archive::TCCAB&, std::string& name, std::int32_t, bool& abort) {
    EXPECT_TRUE(abort);
    EXPECT_EQ(name, "");
    name = "E:\\set\\part2.cab";
    abort = false;
  };
  EXPECT_TRUE(cb.GetNextCabinet(p, 0));
  EXPECT_EQ(p.cabinetName, "part2.cab");
  EXPECT_EQ(p.cabinetPath, "E:\\set\\");

  // Open information: a non-zero result code fails with that code.
  writer_.OnGetOpenInfo = [](const std::string& name, std::uint16_t& date, std::uint16_t&, std::uint16_t&,
                             std::int32_t& handle, int& result) {
    date = 9;
    handle = 17;
    result = name == "bad" ? 5 : 0;
  };
  std::uint16_t date = 0, time = 0, attributes = 0;
  int error = -7;
  EXPECT_EQ(cb.GetOpenInfo("good", date, time, attributes, error), 17);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(date, 9);
  EXPECT_EQ(cb.GetOpenInfo("bad", date, time, attributes, error), -1);
  EXPECT_EQ(error, 5);
}

// The library takes (UINT)-1 as a failed read; a handler's failed read must never look like
// the end of the file, which would store the source cut short.
TEST_F(WriterFixture, AFailedReadIsNotTheEndOfTheFile) {
  struct Failing : testing_support::HostFileHandler {
    using HostFileHandler::HostFileHandler;
    std::uint32_t Read(std::int32_t, void*, std::uint32_t, int& error) override { return (error = 5, 0); }
  } failing(".");
  writer_.FileHandler = &failing;
  Open();
  char buffer[8];
  int error = 0;
  EXPECT_EQ(cabinet_.callbacks->Read(3, buffer, sizeof buffer, error), UINT32_MAX);
  EXPECT_EQ(error, 5);
}

}  // namespace
