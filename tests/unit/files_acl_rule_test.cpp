// The file walk's access rule: which access-control entries leave the administrators a way in.
#include <gtest/gtest.h>

#include <vector>

#include "base/reserved_names.h"
#include "files/acl_rule.h"
#include "test_support.h"

namespace {

const char* kUser = "S-1-5-21-1-2-3-1000";

base::TAceFields Ace(std::string type, std::string rights, std::string account) {
  base::TAceFields f;
  f.Type = std::move(type);
  f.Rights = std::move(rights);
  f.Account = std::move(account);
  return f;
}

struct RuleCase {
  const char* what;
  std::vector<base::TAceFields> entries;
  bool letsInForFile;
  bool letsInForFolder;
};

const RuleCase kRuleCases[] = {
    {"only SYSTEM", {Ace("A", "FA", "SY")}, false, false},
    {"administrators with any rights, even denied", {Ace("A", "FA", "SY"), Ace("D", "WD", "BA")}, true, true},
    {"domain administrators", {Ace("A", "", "DA")}, true, true},
    {"local administrator", {Ace("A", "GR", "LA")}, true, true},
    {"everyone full access", {Ace("A", "FA", "WD")}, true, true},
    {"everyone generic all", {Ace("A", "GA", "WD")}, true, true},
    {"everyone read and execute mask", {Ace("A", "0x1200a9", "WD")}, true, true},
    {"the current user full access", {Ace("A", "FA", kUser)}, true, true},
    {"another user full access", {Ace("A", "FA", "S-1-5-21-1-2-3-1001")}, false, false},
    {"everyone LC at position 1", {Ace("A", "LCRP", "WD")}, true, true},
    {"everyone LC at position 3", {Ace("A", "CCLC", "WD")}, true, true},
    {"everyone LC at position 2 only", {Ace("A", "CLCx", "WD")}, false, false},
    {"everyone LC first at an even place, later at an odd one", {Ace("A", "XLCLC", "WD")}, false, false},
    {"users read and execute mask", {Ace("A", "0x1200a9", "BU")}, true, true},
    {"users with FR among rights", {Ace("A", "GRFRSD", "BU")}, true, true},
    {"users full access is not enough", {Ace("A", "FA", "BU")}, false, false},
    {"everyone generic read: files only", {Ace("A", "GR", "WD")}, true, false},
    {"the current user file read: files only", {Ace("A", "FR", kUser)}, true, false},
    {"everyone GR among more rights", {Ace("A", "GRGW", "WD")}, false, false},
    {"users generic read", {Ace("A", "GR", "BU")}, false, false},
};

TEST(DeepFileAclRule, EntriesThatLetAdministratorsIn) {
  for (const RuleCase& c : kRuleCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(files::AclLetsAdminsIn(c.entries, kUser, false), c.letsInForFile);
    EXPECT_EQ(files::AclLetsAdminsIn(c.entries, kUser, true), c.letsInForFolder);
  }
}

TEST(DeepFileAclRule, AnUnknownUserOpensNothingButEveryone) {
  const std::vector<base::TAceFields> entries{Ace("A", "FA", "")};
  EXPECT_FALSE(files::AclLetsAdminsIn(entries, "", false));
}

TEST(DeepFileAclRule, WholeDescriptors) {
  EXPECT_TRUE(files::AclDeniesAdmins("O:SYG:SYD:(A;;FA;;;SY)", kUser, false));
  EXPECT_FALSE(files::AclDeniesAdmins("O:SYG:SYD:(A;;FA;;;SY)(D;;FA;;;BA)", kUser, false));
  EXPECT_FALSE(files::AclDeniesAdmins("O:SYG:SYD:", kUser, true));  // an empty DACL is no finding
  EXPECT_TRUE(files::AclDeniesAdmins("O:SYG:SYD:(A;;GR;;;WD)", kUser, true));
  EXPECT_FALSE(files::AclDeniesAdmins("O:SYG:SYD:(A;;GR;;;WD)", kUser, false));
}

TEST(ReservedDeviceNames, EightBitAndWideNames) {
  sim::MachineBuilder b;
  testing_support::SimMachineFixture fixture(b);
  for (const char* name : {"con", "CON.txt", "Aux", "lpt3.This folder", "nul.", "com9", "PRN.a.b"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(base::IsReservedDeviceName(std::string_view(name)));
  }
  for (const char* name : {"con1", "xcon", "com0", "lpt10", "com", "", ".con", "co n"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(base::IsReservedDeviceName(std::string_view(name)));
  }
  EXPECT_TRUE(base::IsReservedDeviceName(std::u16string_view(u"LPT1.log")));
  EXPECT_FALSE(base::IsReservedDeviceName(std::u16string_view(u"c\u00D6n")));
  // A character the code page cannot hold turns into its default character, never into a letter.
  EXPECT_FALSE(base::IsReservedDeviceName(std::u16string_view(u"co\u0144")));
  // Names are counted: a zero character is part of the stem like any other.
  EXPECT_FALSE(base::IsReservedDeviceName(std::u16string_view(u"nul\0x", 5)));
}

}  // namespace
