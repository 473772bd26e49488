// Security descriptors of files and keys as SDDL, SIDs in text and binary, accounts, error texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/security_text.h"
#include "platform/handles.h"
#include "registry/key_security.h"
#include "tests/conformance/backend.h"
#include "tests/conformance/buffers.h"

namespace conformance {
namespace {

using namespace platform;

CONFORMANCE_SUITE(FileSecurity);
CONFORMANCE_SUITE(KeySecurity);
CONFORMANCE_SUITE(Sids);
CONFORMANCE_SUITE(Accounts);
CONFORMANCE_SUITE(ErrorTexts);

constexpr DWORD kOwnerGroupDacl =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

std::string Narrow(Platform& p, const std::u16string& path) {
  return p.kernel32.WideCharToMultiByte(CP_ACP, path);
}

// The size question, a buffer one byte short, then the read; the descriptor as SDDL.
std::string ReadFileSddl(Platform& p, const std::string& path, DWORD information) {
  DWORD needed = 0;
  EXPECT_FALSE(p.advapi32.GetFileSecurityA(path, information, {}, needed)) << path;
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_INSUFFICIENT_BUFFER) << path;
  EXPECT_GT(needed, 0u) << path;
  std::vector<std::byte> descriptor(needed);
  DWORD again = 0;
  EXPECT_FALSE(
      p.advapi32.GetFileSecurityA(path, information, std::span(descriptor).first(needed - 1), again));
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(again, needed);
  if (!p.advapi32.GetFileSecurityA(path, information, descriptor, needed)) {
    ADD_FAILURE() << path << ": error " << p.kernel32.GetLastError();
    return {};
  }
  std::string text;
  EXPECT_TRUE(p.advapi32.ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                                              information, text));
  return text;
}

bool Has(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

TEST_P(FileSecurity, FilesAndFoldersReadAsSddlWithThePartsAskedFor) {
  const std::u16string folder = B().MakeFolder({{u"plain.txt", false, "data"}});
  auto& p = P();
  for (const std::u16string& path : {folder + u"\\plain.txt", folder}) {
    SCOPED_TRACE(Units(path));
    const std::string all = ReadFileSddl(p, Narrow(p, path), kOwnerGroupDacl);
    EXPECT_TRUE(all.starts_with("O:")) << all;
    EXPECT_TRUE(Has(all, "G:")) << all;
    EXPECT_TRUE(Has(all, "D:")) << all;
    EXPECT_TRUE(Has(all, "(A;")) << all;  // the owner at least is allowed in
    const std::string owner = ReadFileSddl(p, Narrow(p, path), OWNER_SECURITY_INFORMATION);
    EXPECT_TRUE(owner.starts_with("O:")) << owner;
    EXPECT_FALSE(Has(owner, "D:")) << owner;
    // The same descriptor converted for fewer parts than it holds.
    EXPECT_TRUE(all.starts_with(owner)) << all << " / " << owner;
  }
}

TEST_P(FileSecurity, AMissingPathFailsWithTheWindowsErrorAndAZeroEndsTheName) {
  const std::u16string folder = B().MakeFolder({{u"plain.txt", false, "data"}});
  auto& p = P();
  const std::string base = Narrow(p, folder);
  struct Case {
    std::string path;
    DWORD error;
  };
  const Case cases[] = {{base + "\\missing.txt", ERROR_FILE_NOT_FOUND},
                        {base + "\\no folder\\missing.txt", ERROR_PATH_NOT_FOUND}};
  for (const auto& c : cases) {
    DWORD needed = 0;
    std::vector<std::byte> buffer(4096);
    EXPECT_FALSE(p.advapi32.GetFileSecurityA(c.path, kOwnerGroupDacl, buffer, needed)) << c.path;
    EXPECT_EQ(p.kernel32.GetLastError(), c.error) << c.path;
  }
  // The system reads the name up to its first zero character: this is plain.txt.
  const std::string cut = base + "\\plain.txt" + std::string("\0.missing", 9);
  EXPECT_TRUE(ReadFileSddl(p, cut, kOwnerGroupDacl).starts_with("O:"));
}

TEST_P(FileSecurity, TheProductReadsFileDescriptorsAndNamesTheFailure) {
  const std::u16string folder = B().MakeFolder({{u"plain.txt", false, "data"}});
  auto& p = P();
  const std::string sddl =
      base::jtGetFileSecurityString(Narrow(p, folder + u"\\plain.txt"), base::kOwnerGroupDacl);
  EXPECT_TRUE(sddl.starts_with("O:")) << sddl;
  EXPECT_TRUE(Has(sddl, "D:")) << sddl;
  EXPECT_FALSE(base::SplitSecurityDescriptorString(sddl).Entries.empty()) << sddl;
  try {
    base::jtGetFileSecurityString(Narrow(p, folder + u"\\missing.txt"), base::kOwnerGroupDacl);
    ADD_FAILURE() << "no exception";
  } catch (const base::ESecurityError& e) {
    EXPECT_EQ(std::string(e.what()), "jtGetFileSecurityString.GetFileSecurity failed (" +
                                         base::SystemErrorText(ERROR_FILE_NOT_FOUND) + ")!");
  }
}

TEST_P(KeySecurity, AKeyReadsAsSddlAfterTheSizeQuestion) {
  const TestKey key = B().MakeKey({});
  auto& p = P();
  HKEY opened = 0;
  ASSERT_EQ(p.advapi32.RegOpenKeyExW(key.root, key.subKey, 0, KEY_READ, opened), ERROR_SUCCESS);
  DWORD needed = 0;
  EXPECT_EQ(p.advapi32.RegGetKeySecurity(opened, kOwnerGroupDacl, {}, needed), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_GT(needed, 0u);
  std::vector<std::byte> descriptor(needed);
  DWORD again = 0;
  EXPECT_EQ(
      p.advapi32.RegGetKeySecurity(opened, kOwnerGroupDacl, std::span(descriptor).first(needed - 1), again),
      ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(again, needed);
  EXPECT_EQ(p.advapi32.RegGetKeySecurity(opened, kOwnerGroupDacl, descriptor, needed), ERROR_SUCCESS);
  std::string sddl;
  EXPECT_TRUE(p.advapi32.ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                                              kOwnerGroupDacl, sddl));
  EXPECT_TRUE(sddl.starts_with("O:")) << sddl;
  EXPECT_TRUE(Has(sddl, "D:")) << sddl;
  p.advapi32.RegCloseKey(opened);

  // The product's reading of the same key, and of one that is not there.
  const std::string path = "\\" + Narrow(p, key.subKey);
  const std::string product = registry::jtGetRegistrySecurityString(key.root, path, base::kOwnerGroupDacl, 0);
  EXPECT_TRUE(product.starts_with("O:")) << product;
  EXPECT_TRUE(Has(product, "D:")) << product;
  try {
    registry::jtGetRegistrySecurityString(key.root, path + "\\missing", base::kOwnerGroupDacl, 0);
    ADD_FAILURE() << "no exception";
  } catch (const base::ESecurityError& e) {
    EXPECT_EQ(std::string(e.what()), "jtGetRegistrySecurityString.OpenKeyReadOnly failed: " +
                                         base::SystemErrorText(ERROR_FILE_NOT_FOUND));
  }
}

TEST_P(KeySecurity, NoDescriptorConvertsWithAnUnknownRevision) {
  const TestKey key = B().MakeKey({});
  auto& p = P();
  HKEY opened = 0;
  ASSERT_EQ(p.advapi32.RegOpenKeyExW(key.root, key.subKey, 0, KEY_READ, opened), ERROR_SUCCESS);
  std::vector<std::byte> descriptor(4096);
  DWORD needed = 0;
  ASSERT_EQ(p.advapi32.RegGetKeySecurity(opened, kOwnerGroupDacl, descriptor, needed), ERROR_SUCCESS);
  descriptor.resize(needed);
  p.advapi32.RegCloseKey(opened);
  std::string text = "left over";
  EXPECT_FALSE(
      p.advapi32.ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, 2, kOwnerGroupDacl, text));
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_UNKNOWN_REVISION);
}

TEST_P(Sids, TextToBinaryAndBackGivesTheSameText) {
  auto& p = P();
  for (const std::string text :
       {"S-1-5-32-544", "S-1-5-18", "S-1-1-0", "S-1-5-21-1004336348-1177238915-682003330-512"}) {
    std::vector<std::byte> sid;
    ASSERT_TRUE(p.advapi32.ConvertStringSidToSidA(text, sid)) << text;
    // Revision 1, the count of sub-authorities, six bytes of authority, four per sub-authority.
    ASSERT_GE(sid.size(), 8u);
    EXPECT_EQ(sid[0], std::byte{1});
    EXPECT_EQ(sid.size(), 8 + 4 * static_cast<std::size_t>(sid[1])) << text;
    std::string back;
    EXPECT_TRUE(p.advapi32.ConvertSidToStringSidA(sid, back));
    EXPECT_EQ(back, text);
    EXPECT_EQ(base::jtConvertSidToStringSid(sid), text);
  }
  // An alias names its well-known SID.
  std::vector<std::byte> admins;
  ASSERT_TRUE(p.advapi32.ConvertStringSidToSidA("BA", admins));
  std::string text;
  EXPECT_TRUE(p.advapi32.ConvertSidToStringSidA(admins, text));
  EXPECT_EQ(text, "S-1-5-32-544");
}

TEST_P(Sids, MalformedTextAndBytesAreInvalidSids) {
  auto& p = P();
  for (const std::string text : {"S-1-x-5", "S-2-5-18", "X-1-5-18"}) {
    std::vector<std::byte> sid;
    EXPECT_FALSE(p.advapi32.ConvertStringSidToSidA(text, sid)) << text;
    EXPECT_EQ(p.kernel32.GetLastError(), ERROR_INVALID_SID) << text;
  }
  // A header that claims more sub-authorities than the bytes hold.
  const std::vector<std::byte> cut = {std::byte{1}, std::byte{4}, std::byte{0}, std::byte{0},
                                      std::byte{0}, std::byte{0}, std::byte{0}, std::byte{5}};
  std::string text;
  EXPECT_FALSE(p.advapi32.ConvertSidToStringSidA(cut, text));
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_INVALID_SID);
}

TEST_P(Accounts, WellKnownSidsHaveTheirNamesAfterTheSizeQuestion) {
  auto& p = P();
  struct Case {
    std::string sid, name, domain;
    DWORD use;
  };
  const Case cases[] = {{"S-1-5-32-544", "Administrators", "BUILTIN", SidTypeAlias},
                        {"S-1-5-18", "SYSTEM", "NT AUTHORITY", SidTypeWellKnownGroup}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sid);
    std::vector<std::byte> sid;
    ASSERT_TRUE(p.advapi32.ConvertStringSidToSidA(c.sid, sid));
    std::string name, domain;
    DWORD nameSize = 0, domainSize = 0, use = 0;
    EXPECT_FALSE(p.advapi32.LookupAccountSidA("", sid, name, nameSize, domain, domainSize, use));
    EXPECT_EQ(p.kernel32.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    const DWORD slack = Expected().accountSizeSlack;
    EXPECT_EQ(nameSize, c.name.size() + 1 + slack);  // the terminator counted
    EXPECT_EQ(domainSize, c.domain.size() + 1 + slack);
    ASSERT_TRUE(p.advapi32.LookupAccountSidA("", sid, name, nameSize, domain, domainSize, use));
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(domain, c.domain);
    const DWORD terminator = Expected().accountLengthsCountTerminator ? 1 : 0;
    EXPECT_EQ(nameSize, c.name.size() + terminator);  // the lengths written, without it on Windows
    EXPECT_EQ(domainSize, c.domain.size() + terminator);
    EXPECT_EQ(use, c.use);
  }
}

TEST_P(Accounts, TheCurrentUserLooksUpBothWays) {
  auto& p = P();
  const std::string user = p.advapi32.GetUserNameA();
  ASSERT_FALSE(user.empty());
  std::vector<std::byte> sid;
  std::string domain;
  DWORD sidSize = 0, domainSize = 0, use = 0;
  EXPECT_FALSE(p.advapi32.LookupAccountNameA("", user, sid, sidSize, domain, domainSize, use));
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_GT(sidSize, 8u);
  ASSERT_GT(domainSize, 1u);
  sid.resize(sidSize);
  ASSERT_TRUE(p.advapi32.LookupAccountNameA("", user, sid, sidSize, domain, domainSize, use));
  EXPECT_EQ(use, SidTypeUser);
  EXPECT_EQ(domainSize, domain.size());
  std::string text;
  ASSERT_TRUE(p.advapi32.ConvertSidToStringSidA(sid, text));
  EXPECT_TRUE(text.starts_with("S-1-5-21-")) << text;
  EXPECT_EQ(base::CurrentUserSidString(), text);
  EXPECT_EQ(base::jtLookupAccountName(user, ""), sid);

  std::string name, domainBack;
  DWORD nameSize = 256, domainBackSize = 256;
  ASSERT_TRUE(p.advapi32.LookupAccountSidA("", sid, name, nameSize, domainBack, domainBackSize, use));
  EXPECT_EQ(p.kernel32.CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name, user), CSTR_EQUAL) << name;
  EXPECT_EQ(domainBack, domain);
}

TEST_P(Accounts, AnUnknownAccountIsNotMapped) {
  auto& p = P();
  std::vector<std::byte> sid(64);
  std::string domain;
  DWORD sidSize = 64, domainSize = 64, use = 0;
  EXPECT_FALSE(
      p.advapi32.LookupAccountNameA("", "no-such-account-7f3a", sid, sidSize, domain, domainSize, use));
  EXPECT_EQ(p.kernel32.GetLastError(), ERROR_NONE_MAPPED);
  try {
    base::jtLookupAccountName("no-such-account-7f3a", "");
    ADD_FAILURE() << "no exception";
  } catch (const base::ESecurityError& e) {
    EXPECT_EQ(std::string(e.what()), "jtLookupAccountName.LookupAccountName failed (" +
                                         base::SystemErrorText(ERROR_NONE_MAPPED) + ")!");
  }
}

TEST_P(Accounts, TheProductShowsAccountsAsNameAndDomainOrTheirAlias) {
  P();
  struct Case {
    const char* sid;
    std::string shown;
  };
  const Case cases[] = {{"S-1-5-32-544", "Administrators (BUILTIN)"},
                        {"S-1-5-18", "SYSTEM (NT AUTHORITY)"},
                        {"WD", "Everyone"},  // a well-known group without a domain
                        {"XY", "Unknown(?): XY"},
                        {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(base::AccountDisplayName(c.sid, ""), c.shown) << c.sid;
}

TEST_P(FileSecurity, ARealDescriptorGivesOneAccountNodePerEntry) {
  const std::u16string folder = B().MakeFolder({});
  auto& p = P();
  const std::string sddl = base::jtGetFileSecurityString(Narrow(p, folder), base::kOwnerGroupDacl);
  const auto entries = base::SplitSecurityDescriptorString(sddl).Entries;
  std::vector<std::string> accounts;
  int nodes = 0;
  base::FillSecurityTree(
      sddl,
      [&](int parent, const std::string& text, int) {
        if (parent < 0) accounts.push_back(text);
        return nodes++;
      },
      "", 0, 1, 2);
  ASSERT_EQ(accounts.size(), entries.size()) << sddl;
  for (const auto& a : accounts) EXPECT_FALSE(a.empty()) << sddl;
}

TEST_P(ErrorTexts, KnownCodesHaveALineOfTextAndUnknownOnesNone) {
  auto& k32 = P().kernel32;
  const std::string denied = k32.FormatMessageA(ERROR_ACCESS_DENIED);
  const std::string missing = k32.FormatMessageA(ERROR_FILE_NOT_FOUND);
  for (const std::string& text : {denied, missing}) {
    EXPECT_GT(text.size(), 2u);
    EXPECT_TRUE(text.ends_with("\r\n")) << text;
  }
  EXPECT_NE(denied, missing);
  EXPECT_EQ(k32.FormatMessageA(0x2000FEDC), "");
  EXPECT_EQ(k32.GetLastError(), ERROR_MR_MID_NOT_FOUND);
  // The product quotes the text without its full stop and line break.
  EXPECT_EQ(base::SystemErrorText(ERROR_ACCESS_DENIED) + ".\r\n", denied);
  EXPECT_EQ(base::SystemErrorText(0x2000FEDC), "error " + std::to_string(0x2000FEDC));
}

}  // namespace
}  // namespace conformance
