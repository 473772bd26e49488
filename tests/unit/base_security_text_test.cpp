// Security descriptor text on small simulated machines: splitting, token names, accounts, the tree, failures.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/security_text.h"
#include "registry/key_security.h"
#include "test_support.h"

namespace {

using base::TAceFields;

TEST(SecuritySplit, TheHeadGivesLetterAndFlagsAndEachEntryKeepsItsParentheses) {
  struct Case {
    const char* sddl;
    std::string letter, flags;
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {"O:BAG:SYD:PAI(A;;FA;;;BA)(A;OICI;0x1200a9;;;BU)",
       "O",
       "BAG:SYD:PAI",
       {"(A;;FA;;;BA)", "(A;OICI;0x1200a9;;;BU)"}},
      {"O:BAG:SY", "O", "BAG:SY", {}},  // no "(": no entries
      {"D:", "D", "", {}},
      {"", "", "", {}},
      {"NOCOLON(A;;;;;WD)", "", "", {"(A;;;;;WD)"}},
      // What follows the last ")" is kept, so nothing of the text is silently lost.
      {"D:(A;;FA;;;WD)tail", "D", "", {"(A;;FA;;;WD)", "tail"}},
      {"D:(A;;FA;;;WD)S:(AU;SA;FA;;;WD)", "D", "", {"(A;;FA;;;WD)", "S:(AU;SA;FA;;;WD)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sddl);
    const auto parts = base::SplitSecurityDescriptorString(c.sddl);
    EXPECT_EQ(parts.PartLetter, c.letter);
    EXPECT_EQ(parts.PartFlags, c.flags);
    EXPECT_EQ(parts.Entries, c.entries);
  }
}

TEST(SecuritySplit, AnEntrySplitsIntoSixFieldsOnlyWhenItIsParenthesised) {
  struct Case {
    const char* entry;
    TAceFields fields;
  };
  const Case cases[] = {
      {"(A;OICI;FA;;;BA)", {"A", "OICI", "FA", "", "", "BA"}},
      {"(OA;CI;RP;g-1;g-2;S-1-5-18)", {"OA", "CI", "RP", "g-1", "g-2", "S-1-5-18"}},
      {"(A;CI)", {"A", "CI", "", "", "", ""}},  // fewer than six: the rest stay empty
      {"(A;;FA;;;WD;extra)", {"A", "", "FA", "", "", "WD"}},
      {"(;;;;;)", {}},
      {"()", {}},  // not longer than two characters
      {"(A", {}},
      {"A;;FA;;;BA)", {}},
      {"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    const TAceFields f = base::SplitAceString(c.entry);
    EXPECT_EQ(f.Type, c.fields.Type);
    EXPECT_EQ(f.Flags, c.fields.Flags);
    EXPECT_EQ(f.Rights, c.fields.Rights);
    EXPECT_EQ(f.ObjectGuid, c.fields.ObjectGuid);
    EXPECT_EQ(f.InheritGuid, c.fields.InheritGuid);
    EXPECT_EQ(f.Account, c.fields.Account);
  }
}

TEST(SecurityNames, TokensNameTheirMeaningExactly) {
  struct Case {
    std::function<std::string(std::string_view)> name;
    const char* token;
    std::string expected;
  };
  const Case cases[] = {
      {base::AceTypeName, "A", "ACCESS_ALLOWED_ACE_TYPE"},  // the one name without a trailing space
      {base::AceTypeName, "D", "ACCESS_DENIED_ACE_TYPE "},
      {base::AceTypeName, "OL", "SYSTEM_ALARM_OBJECT_ACE_TYPE "},
      {base::AceTypeName, "a", "?Unknown:a?"},  // case-sensitive
      {base::AceTypeName, "", "?Unknown:?"},
      {base::AceFlagNames, "OICIID", "OBJECT_INHERIT_ACE,CONTAINER_INHERIT_ACE,INHERITED_ACE"},
      {base::AceFlagNames, "OIC", "OBJECT_INHERIT_ACE"},  // a single last character is ignored
      {base::AceFlagNames, "ZZCI", "?Unknown:ZZ?,CONTAINER_INHERIT_ACE"},
      {base::AceFlagNames, "", ""},
      {base::AceRightNames, "FAKA", "FILE_ALL_ACCESS,KEY_ALL_ACCESS"},
      {base::AceRightNames, "LCLC", "ADS_RIGHT_DS_LIST,ADS_RIGHT_DS_LIST"},
      {base::AceRightNames, "CLC", "?Unknown:CL?"},  // pairs from the start: "LC" at an odd place is no token
      {base::AceRightNames, "0x1200a9", ""},         // only low bits: no names
      {base::AceRightNames, "0x001FFFFF", ""},
      {base::AceRightNames, "0x10000000", "READ_CONTROL,"},
      {base::AceRightNames, "0x80000000", "SYNCHRONIZE,"},  // most significant digit first
      {base::AceRightNames, "0x0C000000", "SYSTEM_ACCESS,DELETE,"},
      // The single masks are taken out first, so the combined one is never named.
      {base::AceRightNames, "0xFC000000",
       "SYSTEM_ACCESS,DELETE,READ_CONTROL,CHANGE_ACCESS,CHANGE_OWNER,SYNCHRONIZE,"},
      {base::AceRightNames, "0X10000000", "?Unknown:0X?,?Unknown:10?,?Unknown:00?,?Unknown:00?,?Unknown:00?"},
      {base::AceRightNames, "0x", ""},
      {base::AceRightNames, "0x1000zz00", ""},  // digits end at the first that is none: 0x1000
      {base::SidAliasName, "BA", "Built-in administrators"},
      {base::SidAliasName, "WD", "Everyone"},
      {base::SidAliasName, "XY", "Unknown(?): XY"},
      {base::SidAliasName, "ba", "Unknown(?): ba"},
      {base::SidAliasName, "S-1-5-18", "S-1-5-18"},  // any other length is returned as it is
      {base::SidAliasName, "B", "B"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.token);
    EXPECT_EQ(c.name(c.token), c.expected);
  }
}

// A machine with one file and one key of known descriptors, and one of each that cannot be read.
class SecurityMachine : public ::testing::Test {
 protected:
  static sim::MachineBuilder& Setup(sim::MachineBuilder& b) {
    b.File(u"C:\\known.txt").sddl = "O:S-1-5-21-1-2-3-1000G:SYD:PAI(A;;FA;;;WD)(A;OICIID;0x1200a9;;;BU)";
    b.File(u"C:\\empty.txt").sddl = "";
    b.File(u"C:\\locked.txt").fail.security = true;
    auto& hidden = b.File(u"C:\\ghost.sys");
    hidden.hidden = true;
    b.Key(u"HKLM\\SOFTWARE\\Known").sddl = "O:BAG:SYD:(A;CI;KA;;;BA)";
    b.Key(u"HKLM\\SOFTWARE\\Locked").fail.security = true;
    b.Key(u"HKLM\\SOFTWARE\\Shut").fail.win32Open = true;
    b.machine().accounts.push_back({"S-1-5-21-1-2-3-1001", u"Helper", u"DEMO-PC"});
    return b;
  }
  SecurityMachine() : fixture_(Setup(builder_)) {}
  sim::MachineBuilder builder_;
  testing_support::SimMachineFixture fixture_;
};

TEST_F(SecurityMachine, DescriptorsReadAsTheirSddlWithThePartsAskedFor) {
  struct Case {
    std::function<std::string()> read;
    std::string expected;
  };
  const Case cases[] = {
      {[] { return base::jtGetFileSecurityString("C:\\known.txt", 7); },
       "O:S-1-5-21-1-2-3-1000G:SYD:PAI(A;;FA;;;WD)(A;OICIID;0x1200a9;;;BU)"},
      {[] { return base::jtGetFileSecurityString("C:\\known.txt", 4); },
       "D:PAI(A;;FA;;;WD)(A;OICIID;0x1200a9;;;BU)"},
      {[] { return base::jtGetFileSecurityString("C:\\known.txt", 3); }, "O:S-1-5-21-1-2-3-1000G:SY"},
      {[] { return base::jtGetFileSecurityString("C:\\empty.txt", 7); }, "D:"},  // an empty DACL
      // Read by name, which the rootkit's listing filter does not stop.
      {[] { return base::jtGetFileSecurityString("C:\\ghost.sys", 1); }, "O:BA"},
      // The name ends at a zero character, as the system reads it.
      {[] { return base::jtGetFileSecurityString(std::string("C:\\known.txt\0.x", 15), 1); },
       "O:S-1-5-21-1-2-3-1000"},
      {[] { return registry::jtGetRegistrySecurityString(0x80000002, "\\SOFTWARE\\Known", 7, 0); },
       "O:BAG:SYD:(A;CI;KA;;;BA)"},
      {[] { return registry::jtGetRegistrySecurityString(0x80000002, "\\SOFTWARE\\Known", 7, 2); },
       "O:BAG:SYD:(A;CI;KA;;;BA)"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(cases[i].read(), cases[i].expected);
  }
}

TEST_F(SecurityMachine, EveryFailureRaisesTheMessageNamingItsStep) {
  struct Case {
    std::function<void()> call;
    std::string message;
  };
  const Case cases[] = {
      {[] { base::jtGetFileSecurityString("C:\\locked.txt", 7); },
       "jtGetFileSecurityString.GetFileSecurity failed (Access is denied)!"},
      {[] { base::jtGetFileSecurityString("C:\\missing.txt", 7); },
       "jtGetFileSecurityString.GetFileSecurity failed (The system cannot find the file specified)!"},
      {[] { base::jtGetFileSecurityString("C:\\none\\missing.txt", 7); },
       "jtGetFileSecurityString.GetFileSecurity failed (The system cannot find the path specified)!"},
      {[] { registry::jtGetRegistrySecurityString(0x80000002, "\\SOFTWARE\\Locked", 7, 0); },
       "jtGetRegistrySecurityString.RegGetKeySecurity failed."},
      {[] { registry::jtGetRegistrySecurityString(0x80000002, "\\SOFTWARE\\Missing", 7, 0); },
       "jtGetRegistrySecurityString.OpenKeyReadOnly failed: The system cannot find the file specified"},
      {[] { registry::jtGetRegistrySecurityString(0x80000002, "\\SOFTWARE\\Shut", 7, 0); },
       "jtGetRegistrySecurityString.OpenKeyReadOnly failed: Access is denied"},
      {[] { base::jtConvertSecurityDescriptor(std::vector<std::byte>(24), 7); },
       "jtConvertSecurityDescriptor.ConvertSecurityDescriptorToStringSecurityDescriptor failed (The security "
       "descriptor structure is invalid)!"},
      {[] {
         base::jtConvertSidToStringSid({std::byte{1}, std::byte{9}});
       },
       "jtConvertSidToStringSid.ConvertSidToStringSid failed (The security ID structure is invalid)!"},
      {[] { base::jtLookupAccountName("Nobody", ""); },
       "jtLookupAccountName.LookupAccountName failed (No mapping between account names and security IDs was "
       "done)!"},
      {[] { base::jtLookupAccountName("User", "OTHER-PC"); },
       "jtLookupAccountName.LookupAccountName failed (The RPC server is unavailable)!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      c.call();
      ADD_FAILURE() << "no exception";
    } catch (const base::ESecurityError& e) {
      EXPECT_EQ(e.what(), c.message);
    }
  }
}

TEST_F(SecurityMachine, AccountsShowAsNameAndDomainOrTheirAlias) {
  struct Case {
    const char* sid;
    const char* computer;
    std::string shown;
  };
  const Case cases[] = {
      {"S-1-5-32-544", "", "Administrators (BUILTIN)"},  // a local group with its domain
      {"BA", "", "Administrators (BUILTIN)"},            // the alias is a SID text too
      {"S-1-1-0", "", "Everyone"},                       // no domain
      {"S-1-5-21-1-2-3-1001", "", "Helper (DEMO-PC)"},   // an account of the image
      {"S-1-5-21-1-2-3-1000", "", "User (DEMO-PC)"},     // the user's own
      {"DA", "", "Domain administrators"},               // a SID no one here knows: the alias name
      {"XY", "", "Unknown(?): XY"},
      {"S-1-5-21-9-9-9-1234", "", "S-1-5-21-9-9-9-1234"},
      {"S-1-5-21-9-9-9-1234", "OTHER-PC", "S-1-5-21-9-9-9-1234"},  // asked there too, unreachable
      {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sid);
    EXPECT_EQ(base::AccountDisplayName(c.sid, c.computer), c.shown);
  }
}

TEST(SecurityAccounts, TheCurrentUserSidComesFromTheUserNameInTheSystemCodePage) {
  sim::MachineBuilder b;
  b.machine().system.userName = u"J\u00FCrgen";
  b.machine().system.userSid = "S-1-5-21-7-8-9-1004";
  testing_support::SimMachineFixture fixture(b);
  EXPECT_EQ(base::CurrentUserSidString(), "S-1-5-21-7-8-9-1004");
  EXPECT_EQ(base::jtConvertSidToStringSid(base::jtLookupAccountName("demo-pc\\J\xDC"
                                                                    "RGEN",
                                                                    "")),
            "S-1-5-21-7-8-9-1004");
}

TEST(SecurityAccounts, NoUserNameGivesNoSid) {
  sim::MachineBuilder b;
  b.machine().system.userName = u"";
  testing_support::SimMachineFixture fixture(b);
  EXPECT_EQ(base::CurrentUserSidString(), "");
}

struct Node {
  int parent;
  std::string text;
  int image;
  bool operator==(const Node&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Node& n) {
  return os << "{" << n.parent << ", \"" << n.text << "\", " << n.image << "}";
}

TEST_F(SecurityMachine, TheTreeHasOneAccountNodePerEntryWithItsGroupsAndLeaves) {
  std::vector<Node> nodes;
  const base::TAddSecurityNode record = [&](int parent, const std::string& text, int image) {
    nodes.push_back({parent, text, image});
    return static_cast<int>(nodes.size()) - 1;
  };
  base::FillSecurityTree(
      "O:BAG:SYD:PAI(A;OICIID;FA;;;BA)(D;;0x10000000;;;S-1-5-21-9-9-9-1)(OA;CI;RP;g-1;g-2;WD)(A;CI)", record,
      "", 3, 0, 4);
  const std::vector<Node> expected = {
      {-1, "Administrators (BUILTIN)", 3},
      {0, "ACE Type", 0},
      {1, "ACCESS_ALLOWED_ACE_TYPE", 4},
      {0, "ACE Flags", 0},
      {3, "OBJECT_INHERIT_ACE", 4},
      {3, "CONTAINER_INHERIT_ACE", 4},
      {3, "INHERITED_ACE", 4},
      {0, "Rights", 0},
      {7, "FILE_ALL_ACCESS", 4},
      {-1, "S-1-5-21-9-9-9-1", 3},
      {9, "ACE Type", 0},
      {10, "ACCESS_DENIED_ACE_TYPE ", 4},
      {9, "Rights", 0},
      {12, "READ_CONTROL", 4},  // the hexadecimal list's closing comma makes no empty leaf
      {-1, "Everyone", 3},
      {14, "ACE Type", 0},
      {15, "ACCESS_ALLOWED_OBJECT_ACE_TYPE ", 4},
      {14, "ACE Flags", 0},
      {17, "CONTAINER_INHERIT_ACE", 4},
      {14, "Rights", 0},
      {19, "ADS_RIGHT_DS_READ_PROP", 4},
      {14, "Object GUID", 0},
      {21, "g-1", 4},
      {14, "Inherit GUID", 0},
      {23, "g-2", 4},
      // Fewer than six fields: no account, no rights leaves, no GUID nodes; "Rights" is always there.
      {-1, "", 3},
      {25, "ACE Type", 0},
      {26, "ACCESS_ALLOWED_ACE_TYPE", 4},
      {25, "ACE Flags", 0},
      {28, "CONTAINER_INHERIT_ACE", 4},
      {25, "Rights", 0},
  };
  EXPECT_EQ(nodes, expected);
}

TEST(SecurityTree, AnSddlWithoutEntriesAddsNothing) {
  int calls = 0;
  base::FillSecurityTree(
      "O:BAG:SY", [&](int, const std::string&, int) { return ++calls; }, "", 0, 1, 2);
  EXPECT_EQ(calls, 0);
}

}  // namespace
