// Log items and collections: filters, digest and size readers, usable drives, saving.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "results/log_items.h"
#include "test_support.h"

namespace {

using results::TSystemLogItem;
using results::TSystemLogLegitStatus;

// An item that writes one line wherever a fill operation asks it to.
class LineItem : public TSystemLogItem {
 public:
  void AddSnapShotFields(std::vector<std::string>& l) override { l.push_back("snap " + Filename); }
  void AddTextLines(std::vector<std::string>& l) override { l.push_back("text " + Filename); }
  void AddDescriptionLines(std::vector<std::string>& l) override { l.push_back("desc " + Filename); }
  void AddFileNames(std::vector<std::string>& l) override { l.push_back(Filename); }
  void SaveToStream(std::ostream& out, bool) override {
    if (Filename == "bad") throw std::runtime_error(" disk full");
    out << Filename << ";";
  }
};

class LineCollection : public results::TSystemLogCollection {
 protected:
  std::unique_ptr<TSystemLogItem> NewItem() override { return std::make_unique<LineItem>(); }
};

class LogItems : public ::testing::Test {
 protected:
  static sim::MachineBuilder& Build(sim::MachineBuilder& b) {
    b.AddVolume(u'A', platform::DRIVE_REMOVABLE);
    b.AddVolume(u'E').readable = false;
    b.File(u"C:\\abc.txt", "abc");
    b.File(u"A:\\abc.txt", "abc");
    return b;
  }
  LogItems() : fx_(Build(b_)) {}
  sim::MachineBuilder b_;
  testing_support::SimMachineFixture fx_;
};

TEST_F(LogItems, FiltersSkipHarmlessItemsButTheTextKeepsItsIndexLine) {
  LineCollection c;
  c.Add().Filename = "x";
  auto& good = c.Add();
  good.Filename = "good";
  good.Legit = TSystemLogLegitStatus::llsGood;
  std::vector<std::string> text, desc, names, snap;
  c.FillText(text, true, false);
  c.FillDescriptions(desc, true, false);
  c.FillFileNames(names, true, true);
  c.FillSnapShot(snap, true, false);
  EXPECT_EQ(text, (std::vector<std::string>{"[0]", "text x", "[1]"}));
  EXPECT_EQ(desc, std::vector<std::string>{"desc x"});
  EXPECT_EQ(names, std::vector<std::string>{"x"});
  EXPECT_EQ(snap, (std::vector<std::string>{"snap x", ""}));
  // The snapshot property uses no filters and is built once.
  EXPECT_EQ(c.SnapShot(), (std::vector<std::string>{"snap x", "snap good"}));
  c.Add().Filename = "later";
  EXPECT_EQ(c.SnapShot().size(), 2u);
}

TEST_F(LogItems, BaseTexts) {
  TSystemLogItem item;
  EXPECT_EQ(item.MakroLocation(), "<undefined><undefined>");
  EXPECT_EQ(item.InfoLocation(), "<undefined><undefined>");
  EXPECT_EQ(item.LASSH(), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_FALSE(item.IsHarmless());
  EXPECT_TRUE(item.IsActive());
}

TEST_F(LogItems, DigestAndSizeOnlyForFilesOnUsableDrives) {
  EXPECT_EQ(results::UsableDrives(), "C");  // A: is a floppy, E: cannot be read
  TSystemLogItem onC, onA;
  onC.Filename = "c:\\abc.txt";
  onA.Filename = "A:\\abc.txt";
  EXPECT_EQ(onC.Filesize(), 3);
  EXPECT_EQ(onC.MD5(), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(onA.Filesize(), 0);
  EXPECT_EQ(onA.MD5(), "D41D8CD98F00B204E9800998ECF8427E");
}

TEST_F(LogItems, AStoredDigestFreezesTheSize) {
  TSystemLogItem item;
  item.Filename = "C:\\abc.txt";
  EXPECT_EQ(item.Filesize(), 3);
  fx_.machine().FindFile(u"C:\\abc.txt")->size = 10;
  EXPECT_EQ(item.Filesize(), 10);  // read again while no digest is stored
  item.SetMD5("abc");
  fx_.machine().FindFile(u"C:\\abc.txt")->size = 20;
  EXPECT_EQ(item.Filesize(), 10);
  EXPECT_EQ(item.MD5(), "ABC");
}

TEST_F(LogItems, ADigestErrorStoresNotAvailable) {
  struct Failing : TSystemLogItem {
    std::string GetCompleteFilename() override { throw std::runtime_error("gone"); }
  } item;
  EXPECT_EQ(item.MD5(), "N/A");
  EXPECT_EQ(item.MD5(), "N/A");
}

TEST_F(LogItems, SavingGoesOnAfterAFailingItem) {
  LineCollection c;
  c.Add().Filename = "a";
  c.Add().Filename = "bad";
  c.Add().Filename = "b";
  std::ostringstream out;
  c.SaveToStream(out, false);
  EXPECT_EQ(out.str(), "a;// An error occured while saving this item! disk full\r\nb;");
}

TEST_F(LogItems, MatchesTriesEveryTextOfTheItem) {
  TSystemLogItem item;
  item.Filename = "C:\\abc.txt";
  EXPECT_TRUE(item.Matches("c:\\ABC.TXT", 5));                       // the file name, any case
  EXPECT_TRUE(item.Matches("900150983cd24fb0d6963f7d28e17f72", 5));  // its digest
  EXPECT_TRUE(item.Matches("<undefined>", 5));                       // the location texts
  EXPECT_FALSE(item.Matches("C:\\abc", 5));

  // Every mode of the shared rules, ignoring case; the mode's top bit is ignored.
  struct Case {
    const char* pattern;
    int mode;
    bool found;
  } cases[] = {
      {"ABC", 0, true},        {"xyz", 0, false},         {"*\\ABC.*", 1, true},
      {"abc.txt", 1, false},   {"xyz or qqq", 2, false},  {"abc and not xyz", 2, true},
      {"^c:\\\\a.c", 3, true}, {"^abc", 3, false},        {"abc.t", 4, true},
      {"*\\ABC.*", 129, true}, {"c:\\abc.txt", 6, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(item.Matches(c.pattern, c.mode), c.found) << c.pattern << " mode " << c.mode;
}

TEST_F(LogItems, NewItemsTakeTheCollectionsTarget) {
  LineCollection c;
  c.TargetOS = results::TSystemLogTargetOS::winBit64;
  EXPECT_EQ(c.Add().TargetOS, results::TSystemLogTargetOS::winBit64);
}

}  // namespace
