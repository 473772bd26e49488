// File properties and deletion: exactly the named file goes, the views fill each other's gaps.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/file_properties.h"
#include "platform/sim/builder.h"
#include "tests/unit/test_support.h"

namespace {

using testing_support::SimMachineFixture;

std::vector<std::u16string> Names(sim::Machine& m, std::u16string_view folder) {
  std::vector<std::u16string> out;
  if (sim::FileNode* dir = m.FindFile(folder))
    for (const auto& c : dir->children) out.push_back(c->name);
  return out;
}

TEST(FileDeletion, RemovesExactlyTheNamedFile) {
  const std::u16string zeroName(u"a\0b", 3);
  struct Case {
    const char* what;
    std::u16string path;
    std::vector<std::u16string> left;  // what C:\d holds afterwards
  };
  const Case kCases[] = {
      {"a reserved device name reached natively", u"C:\\d\\con", {u"a", zeroName, u"con.txt", u"x.txt"}},
      {"a reserved name with an extension", u"C:\\d\\con.txt", {u"a", zeroName, u"con", u"x.txt"}},
      {"a name holding a zero character", u"C:\\d\\" + zeroName, {u"a", u"con", u"con.txt", u"x.txt"}},
      {"given in native form", u"\\??\\C:\\d\\x.txt", {u"a", zeroName, u"con", u"con.txt"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    sim::MachineBuilder b;
    for (const std::u16string& name : {std::u16string(u"a"), zeroName, std::u16string(u"con"),
                                       std::u16string(u"con.txt"), std::u16string(u"x.txt")})
      b.File(u"C:\\d\\" + name, "data");
    SimMachineFixture fx(b);
    ASSERT_TRUE(app::ResolveOneFile(c.path).error.empty()) << app::ResolveOneFile(c.path).error;
    const app::FileDeletion d = app::DeleteFileNativeFirst(c.path);
    EXPECT_TRUE(d.deleted);
    EXPECT_TRUE(d.native);
    EXPECT_EQ(d.status, app::kFileDeleted);
    EXPECT_EQ(Names(fx.machine(), u"C:\\d"), c.left);
  }
}

TEST(FileDeletion, AFileInUseIsReportedAndStays) {
  sim::MachineBuilder b;
  b.File(u"C:\\d\\busy.sys", "x").locked = true;
  SimMachineFixture fx(b);
  const app::FileDeletion d = app::DeleteFileNativeFirst(u"C:\\d\\busy.sys");
  EXPECT_FALSE(d.deleted);
  EXPECT_EQ(d.status, app::kCouldNotDeleteYet);
  EXPECT_EQ(Names(fx.machine(), u"C:\\d"), std::vector<std::u16string>{u"busy.sys"});
}

TEST(FileDeletion, PathsThatNameNoneOrSeveralAreRefused) {
  struct Case {
    const char* what;
    std::u16string path;
  };
  const Case kCases[] = {
      {"missing", u"C:\\d\\missing.txt"},
      {"a wildcard", u"C:\\d\\*.txt"},
      {"a relative path", u"d\\a.txt"},
      {"a folder", u"C:\\d\\sub"},
      {"two names that differ in case", u"C:\\d\\twin"},
      {"a drive's root", u"C:\\"},
      {"in a missing folder", u"C:\\nowhere\\a.txt"},
  };
  sim::MachineBuilder b;
  b.File(u"C:\\d\\a.txt", "a");
  b.Folder(u"C:\\d\\sub");
  b.File(u"C:\\d\\twin", "1");
  SimMachineFixture fx(b);
  // A second entry whose name differs only in case, as a POSIX-style name can make natively.
  auto twin = std::make_unique<sim::FileNode>();
  twin->name = u"TWIN";
  fx.machine().FindFile(u"C:\\d")->children.push_back(std::move(twin));
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(app::ResolveOneFile(c.path).error.empty());
  }
}

TEST(FileProperties, NativeFactsOfAHiddenFileAndTheTexts) {
  sim::MachineBuilder b;
  auto& f = b.File(u"C:\\d\\ghost.sys", "0123456789");
  f.hidden = true;
  f.size = 5000000000;
  f.allocationSize = 5000003584;
  f.streams.push_back(sim::Stream{u"extra", "xy", 2});
  SimMachineFixture fx(b);
  for (const std::u16string path : {u"C:\\d\\ghost.sys", u"\\??\\C:\\d\\ghost.sys"}) {
    const app::FileProperties p = app::GatherFileProperties(path);
    EXPECT_EQ(p.fileName, u"\\??\\C:\\d\\ghost.sys") << "the prefix is put in front once";
    EXPECT_TRUE(p.nativeOpened);
    EXPECT_EQ(p.size, 5000000000);
    EXPECT_EQ(app::SizeWithBytes(p.size), "4 GB (5000000000 bytes)");
    EXPECT_GT(p.creationTime, 0.0);
    EXPECT_GT(p.changeTime, 0.0);
    EXPECT_FALSE(p.security.empty());
    ASSERT_EQ(p.streams.size(), 2u);
    EXPECT_EQ(p.streams[0].name, u"");
    EXPECT_EQ(p.streams[0].kind, "Standard");
    EXPECT_EQ(p.streams[1].kind, "Alternate");
  }
}

TEST(FileProperties, SizeTexts) {
  const std::pair<std::int64_t, const char*> kCases[] = {
      {0, "0 B"}, {1024, "1024 B"}, {1536, "1 KB"}, {1048577, "1024 KB"}, {5000000000, "4 GB"}};
  for (const auto& [bytes, text] : kCases) EXPECT_EQ(app::SizeText(bytes), text) << bytes;
}

}  // namespace
