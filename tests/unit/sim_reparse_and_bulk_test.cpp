// Reparse tags in images and in both listings, and the bulk file builder's order and checks.
#include <gtest/gtest.h>

#include "files/file_list.h"
#include "platform/handles.h"
#include "platform/sim/builder.h"
#include "platform/sim/image_loader.h"
#include "platform/sim/sim_platform.h"

namespace {

TEST(SimReparsePoints, ImageTagReachesBothListings) {
  auto m = sim::LoadImage(R"({"umbrascopeImage": 1, "files": [
      {"path": "C:\\Users\\Me\\Application Data", "folder": true, "attributes": 1046, "reparseTag": 2684354563},
      {"path": "C:\\Users\\Me\\plain", "folder": true}]})",
                          "t.json");
  sim::ScopedSimMachine scoped(std::move(m));
  auto& k32 = platform::Current().kernel32;

  files::TNTFileEnumerator native;
  native.InformationLevel = 2;
  native.Enumerate(u"C:\\Users\\Me\\");
  ASSERT_EQ(native.Count(), 2u);
  EXPECT_EQ(native.Entries[0].Name, u"Application Data");
  EXPECT_EQ(native.Entries[0].ReparseTag, 0xA0000003u);
  EXPECT_EQ(native.Entries[1].ReparseTag, 0u);
  native.InformationLevel = 1;  // the directory record has no room for the tag
  native.Enumerate(u"C:\\Users\\Me\\");
  EXPECT_EQ(native.Entries[0].ReparseTag, 0u);

  platform::Kernel32::FindDataW data;
  platform::FindHandle find(k32.FindFirstFileW(u"C:\\Users\\Me\\Application Data", data));
  ASSERT_TRUE(find);
  EXPECT_EQ(data.attributes, 0x416u);
  EXPECT_EQ(data.reparseTag, 0xA0000003u);
}

TEST(SimReparsePoints, TagWithoutTheReparseAttributeIsRefused) {
  try {
    sim::LoadImage(R"({"umbrascopeImage": 1, "files": [
        {"path": "C:\\j", "folder": true, "reparseTag": 2684354563}]})",
                   "t.json");
    FAIL() << "loaded";
  } catch (const sim::ImageError& e) {
    EXPECT_NE(std::string(e.what()).find("files[0].reparseTag"), std::string::npos) << e.what();
  }
}

TEST(SimBulkFiles, FoldersAreSortedOnceAndDuplicatesRefused) {
  sim::MachineBuilder b;
  sim::FileNode& root = *b.machine().FindVolume(u'C')->root;
  b.File(u"C:\\m.txt");  // an entry made the ordinary way keeps its place among the bulk ones
  sim::FileNode& d = b.BulkFolder(root, u"D");
  for (auto n : {u"b.txt", u"A.txt", u"_x", u"a0"}) b.BulkFile(d, n, 7);
  b.BulkFile(root, u"z");
  b.BulkFile(root, u"B");
  auto m = b.Build();
  std::vector<std::u16string> names;
  for (auto& c : m->FindFile(u"C:\\D")->children) names.push_back(c->name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"A.txt", u"a0", u"b.txt", u"_x"}));
  names.clear();
  for (auto& c : m->FindFile(u"C:\\")->children) names.push_back(c->name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"B", u"D", u"m.txt", u"z"}));
  EXPECT_EQ(m->FindFile(u"C:\\D\\a0")->size, 7u);
  EXPECT_EQ(m->FindFile(u"C:\\D\\a0")->parent, m->FindFile(u"C:\\D"));

  sim::MachineBuilder twice;
  sim::FileNode& r = *twice.machine().FindVolume(u'C')->root;
  twice.BulkFile(r, u"same");
  twice.BulkFile(r, u"SAME");
  EXPECT_THROW(twice.FinishBulkFiles(), std::invalid_argument);
}

TEST(SimNativeListing, ANameAsTheMaskFindsThatEntryAlone) {
  sim::MachineBuilder b;
  for (auto n : {u"a", u"b", u"c"}) b.File(std::u16string(u"C:\\d\\") + n);
  b.File(std::u16string(u"C:\\d\\b\0x", 8));
  sim::ScopedSimMachine scoped(b.Build());
  auto& nt = platform::Current().ntdll;
  platform::NtHandle dir;
  platform::IoStatus io;
  const std::u16string path = u"\\??\\C:\\d";
  ASSERT_EQ(nt.NtOpenFile(dir.put(), platform::FILE_LIST_DIRECTORY | platform::SYNCHRONIZE,
                          {path, platform::OBJ_CASE_INSENSITIVE}, io, 3,
                          platform::FILE_DIRECTORY_FILE | platform::FILE_SYNCHRONOUS_IO_NONALERT),
            platform::STATUS_SUCCESS);
  std::vector<std::byte> buffer(1024);
  auto query = [&](std::u16string_view mask, bool restart) {
    std::fill(buffer.begin(), buffer.end(), std::byte{0});
    const auto s =
        nt.NtQueryDirectoryFile(dir.get(), platform::kNullHandle, io, buffer, 2, true, &mask, restart);
    const auto r = files::ParseDirectoryRecord(buffer, 0, 2);
    return s == platform::STATUS_SUCCESS && r ? r->name : u"<none>";
  };
  EXPECT_EQ(query(u"B", true), u"b");
  EXPECT_EQ(query(u"B", false), u"<none>");  // nothing more of that name
  EXPECT_EQ(query(std::u16string_view(u"b\0x", 3), true), std::u16string(u"b\0x", 3));
  EXPECT_EQ(query(u"nothere", true), u"<none>");
}

}  // namespace
