// The executable image reader: header errors, section tables, the four directory passes and hostile images.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "processes/pe_reader.h"
#include "tests/unit/pe_image.h"

namespace {

using processes::PEReaderError;
using processes::TPEReader;
using testing_support::Bytes;
using testing_support::PeImage;
using testing_support::PeSection;
using testing_support::Put16;
using testing_support::Put32;
using testing_support::Put64;
using testing_support::PutText;

// Directory indexes.
constexpr std::size_t kExport = 0, kImport = 1, kResource = 2, kDebug = 6;

// An image with one data section at RVA 0x1000, file offset 0x200, whose bytes the test fills.
PeImage OneSection(std::string data, bool plus = false) {
  PeImage img;
  img.plus = plus;
  const auto size = static_cast<std::uint32_t>((data.size() + 0x1FF) & ~0x1FFu);
  img.sections.push_back(
      PeSection{".rdata", 0x1000, static_cast<std::uint32_t>(data.size()), 0x200, size, std::move(data)});
  return img;
}

std::string ReadError(const std::string& file) {
  TPEReader r;
  try {
    r.Read(Bytes(file));
  } catch (const PEReaderError& e) {
    return e.what();
  }
  return "(read)";
}

TEST(PEReader, HeaderErrorsNameWhatCouldNotBeRead) {
  const std::string valid = OneSection("x").File();
  struct Case {
    const char* what;
    std::function<std::string()> file;
    const char* message;
  };
  const Case cases[] = {
      {"63 bytes", [] { return std::string(63, 'M'); }, "PEReader: File to small!"},
      {"empty", [] { return std::string(); }, "PEReader: File to small!"},
      {"starts with ZM",
       [&] {
         auto f = valid;
         f[0] = 'Z', f[1] = 'M';
         return f;
       },
       "PEReader: Missing MZ header!"},
      {"MZ alone",
       [] {
         auto f = std::string(64, '\0');
         f[0] = 'M', f[1] = 'Z';
         return f;
       },
       "PEReader: Invalid PE format (size problem #1)!"},
      {"e_lfanew 160 bytes before the end is enough to try",
       [] {
         PeImage img;
         img.lfanew = 0x40;
         auto f = img.Headers(0x40 + 160);
         f.resize(0x40 + 159);
         return f;
       },
       "PEReader: Invalid PE format (size problem #1)!"},
      {"no PE signature",
       [&] {
         auto f = valid;
         f[0x80] = 'N';
         return f;
       },
       "PEReader: Missing PE header!"},
      {"e_lfanew before the file",
       [&] {
         auto f = valid;
         Put32(f, 60, 0xFFFFFF00u);
         return f;
       },
       "PEReader: Could not read PE header!"},
      {"e_lfanew far past the end",
       [&] {
         auto f = valid;
         Put32(f, 60, 0x7FFFFFF0u);
         return f;
       },
       "PEReader: Invalid PE format (size problem #1)!"},
      {"optional header cut short",
       [] {
         PeImage img;
         auto f = img.Headers(0);
         f.resize(0x80 + 24 + 180);
         return f;
       },
       "PEReader: Could not read PE optional header!"},
      {"PE32+ optional header cut short",
       [] {
         PeImage img;
         img.plus = true;
         auto f = img.Headers(0);
         f.resize(0x80 + 24 + 210);  // enough for a PE32 header, not for a PE32+ one
         return f;
       },
       "PEReader: Could not read PE optional header!"},
      {"section table cut short",
       [&] {
         auto f = valid;
         Put16(f, 0x80 + 6, 3);  // three sections where the file holds one and some zeros
         f.resize(0x80 + 24 + 224 + 40 + 20);
         return f;
       },
       "PEReader: Could not read PE section entry!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadError(c.file()), c.message);
  }
  EXPECT_EQ(ReadError(valid), "(read)");
}

TEST(PEReader, SectionTableFollowsTheDeclaredOptionalHeaderSize) {
  struct Case {
    const char* what;
    bool plus;
    std::uint16_t optionalSize;
  };
  const Case cases[] = {
      {"PE32, 224", false, 224},
      {"PE32, a larger header than read", false, 264},
      {"PE32, a smaller header than read", false, 208},
      {"PE32+, 240", true, 240},
      {"no optional header", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PeImage img = OneSection("abc", c.plus);
    img.optionalHeaderSize = c.optionalSize;
    img.sections.push_back(PeSection{".data", 0x2000, 0x10, 0x400, 0x200, ""});
    std::string file = img.File();
    if (file.size() < 0x80 + 24 + 216) file.resize(0x80 + 24 + 216, '\0');
    TPEReader r;
    r.Read(Bytes(file));
    ASSERT_EQ(r.SectionCount(), 2u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.GetSection(0).Name)), ".rdata");
    EXPECT_EQ(r.GetSection(1).VirtualAddress, 0x2000u);
    EXPECT_EQ(r.GetSection(1).PointerToRawData, 0x400u);
    EXPECT_EQ(r.IsPE32Plus(), c.plus && c.optionalSize != 0);
  }
}

TEST(PEReader, Pe32PlusHasA64BitImageBase) {
  PeImage img = OneSection("abc", true);
  img.imageBase = 0x140000000ull;
  img.directories[kImport] = {0x1000, 0x28};
  TPEReader r;
  r.Read(Bytes(img.File()));
  EXPECT_TRUE(r.IsPE32Plus());
  EXPECT_EQ(r.ImageBase(), 0x140000000ull);
  EXPECT_EQ(r.Directory(kImport).VirtualAddress, 0x1000u);

  PeImage img32 = OneSection("abc");
  img32.imageBase = 0x1000000;
  r.Read(Bytes(img32.File()));
  EXPECT_FALSE(r.IsPE32Plus());
  EXPECT_EQ(r.ImageBase(), 0x1000000u);
}

// An image with an import, an export, a resource and a debug directory, all readable.
PeImage EveryDirectory() {
  std::string d;
  // imports at 0: one descriptor, then the terminator
  Put32(d, 0, 0x1100);   // OriginalFirstThunk
  Put32(d, 12, 0x1180);  // Name
  Put32(d, 16, 0x1100);  // FirstThunk
  Put32(d, 0x100, 0x11A0);
  PutText(d, 0x180, "KERNEL32.dll");
  Put16(d, 0x1A0, 7);
  PutText(d, 0x1A2, "ExitProcess");
  // exports at 0x200: one function, named
  Put32(d, 0x200 + 16, 1);       // Base
  Put32(d, 0x200 + 20, 1);       // NumberOfFunctions
  Put32(d, 0x200 + 24, 1);       // NumberOfNames
  Put32(d, 0x200 + 28, 0x1240);  // AddressOfFunctions
  Put32(d, 0x200 + 32, 0x1250);  // AddressOfNames
  Put32(d, 0x200 + 36, 0x1260);  // AddressOfNameOrdinals
  Put32(d, 0x240, 0x1234);
  Put32(d, 0x250, 0x1270);
  Put16(d, 0x260, 0);
  PutText(d, 0x270, "Entry");
  // resources at 0x300: RT_ICON / 1 / 1033
  Put16(d, 0x300 + 14, 1);
  Put32(d, 0x310, 3), Put32(d, 0x314, 0x80000018);
  Put16(d, 0x318 + 14, 1);
  Put32(d, 0x328, 1), Put32(d, 0x32C, 0x80000030);
  Put16(d, 0x330 + 14, 1);
  Put32(d, 0x340, 1033), Put32(d, 0x344, 0x48);
  Put32(d, 0x348, 0x1400), Put32(d, 0x34C, 0x10), Put32(d, 0x350, 1252);
  // debug at 0x380, its record at file offset 0x200 + 0x3C0
  Put32(d, 0x380 + 12, 2);
  Put32(d, 0x380 + 24, 0x200 + 0x3C0);
  Put32(d, 0x3C0, 0x53445352);
  PutText(d, 0x3C0 + 24, "  C:\\build\\x.pdb");
  d.resize(0x400, '\0');
  PeImage img = OneSection(d);
  img.directories[kImport] = {0x1000, 0x28};
  img.directories[kExport] = {0x1200, 0x80};
  img.directories[kResource] = {0x1300, 0x60};
  img.directories[kDebug] = {0x1380, 28};
  return img;
}

TEST(PEReader, ReadsEveryDirectoryOfASoundImage) {
  TPEReader r;
  r.SetReadDebugInfo(true);
  r.Read(Bytes(EveryDirectory().File()));
  EXPECT_FALSE(r.ImportsFailed || r.ExportsFailed || r.ResourcesFailed || r.DebugFailed);
  ASSERT_EQ(r.Imports.size(), 1u);
  EXPECT_EQ(r.Imports[0].Text, "KERNEL32.dll:ExitProcess");
  EXPECT_EQ(r.Imports[0].Data.Thunk, 0x11A0u);
  ASSERT_EQ(r.ExportNames, std::vector<std::string>{"Entry"});
  EXPECT_EQ(r.ExportOrdinals, std::vector<std::uint32_t>{1});
  EXPECT_EQ(r.ExportAddresses, std::vector<std::uint32_t>{0x1234});
  EXPECT_EQ(
      r.ResourceLines,
      (std::vector<std::string>{"Resource Directory: RT_ICON", "Resource Directory: 1", "Resource Data: 1033",
                                "Offset: $00001400 Size: $00000010 Codepage: $000004E4 "
                                "Reserved: $00000000"}));
  ASSERT_EQ(r.Resources.size(), 1u);
  EXPECT_EQ(r.Resources[0].TypeName, "RT_ICON");
  EXPECT_EQ(r.Resources[0].TypeID, 3u);
  EXPECT_EQ(r.Resources[0].NameID, 1u);
  EXPECT_EQ(r.Resources[0].LanguageID, 1033u);
  EXPECT_EQ(r.Resources[0].DataOffset, 0x1400u - (0x1000u - 0x200u));  // the RVA as a file offset
  EXPECT_EQ(r.DebugLines,
            (std::vector<std::string>{"Type: CodeView", "Subtype: RSDS (Visual Studio, new since .NET)",
                                      "PDB: C:\\build\\x.pdb"}));
}

TEST(PEReader, PassesSwitchedOffReadOnlyHeadersAndSections) {
  TPEReader r;
  r.SetReadImports(false);
  r.SetReadExports(false);
  r.SetReadResources(false);
  r.SetReadDebugInfo(false);
  r.Read(Bytes(EveryDirectory().File()));
  EXPECT_EQ(r.SectionCount(), 1u);
  EXPECT_EQ(r.Directory(kImport).VirtualAddress, 0x1000u);
  EXPECT_TRUE(r.Imports.empty() && r.ExportNames.empty() && r.ResourceLines.empty() && r.DebugLines.empty());
  EXPECT_FALSE(r.ImportsFailed || r.ExportsFailed || r.ResourcesFailed || r.DebugFailed);

  // Without the section table nothing after the headers is read, and a pass switched on
  // brings the section table back.
  r.SetReadSections(false);
  r.Read(Bytes(EveryDirectory().File()));
  EXPECT_EQ(r.SectionCount(), 0u);
  r.SetReadExports(true);
  EXPECT_TRUE(r.ReadSections());
  r.Read(Bytes(EveryDirectory().File()));
  EXPECT_EQ(r.ExportNames, std::vector<std::string>{"Entry"});
}

// Each failing pass sets its own flag and leaves the others alone.
TEST(PEReader, AFailedPassSetsItsFlagOnly) {
  struct Case {
    const char* what;
    std::function<void(PeImage& img, std::string& d)> spoil;
    bool imports, exports, resources, debug;
  };
  const Case cases[] = {
      {"debug record past the file", [](PeImage&, std::string& d) { Put32(d, 0x380 + 24, 0x10000); }, false,
       false, false, true},
      {"export names outside the directory", [](PeImage&, std::string& d) { Put32(d, 0x250, 0x9000); }, false,
       true, false, false},
      {"export count larger than the image",
       [](PeImage&, std::string& d) { Put32(d, 0x200 + 20, 0x40000000); }, false, true, false, false},
      {"resource subdirectory that points at itself",
       [](PeImage&, std::string& d) { Put32(d, 0x32C, 0x80000018); }, false, false, true, false},
      {"resource data entry outside", [](PeImage&, std::string& d) { Put32(d, 0x344, 0x7000); }, false, false,
       true, false},
      {"import table cut off by the end of its section",
       [](PeImage& img, std::string&) {
         img.directories[kImport] = {0x13F0, 0x28};
       },
       true, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PeImage img = EveryDirectory();
    c.spoil(img, img.sections[0].data);
    TPEReader r;
    r.SetReadDebugInfo(true);
    ASSERT_NO_THROW(r.Read(Bytes(img.File())));
    EXPECT_EQ(r.ImportsFailed, c.imports);
    EXPECT_EQ(r.ExportsFailed, c.exports);
    EXPECT_EQ(r.ResourcesFailed, c.resources);
    EXPECT_EQ(r.DebugFailed, c.debug);
  }
}

TEST(PEReader, CodeViewWithoutRsdsKeepsItsTypeLine) {
  PeImage img = EveryDirectory();
  Put32(img.sections[0].data, 0x3C0, 0x3031424E);  // "NB10"
  TPEReader r;
  r.SetReadDebugInfo(true);
  r.Read(Bytes(img.File()));
  EXPECT_TRUE(r.DebugFailed);
  EXPECT_EQ(r.DebugLines, std::vector<std::string>{"Type: CodeView"});
}

TEST(PEReader, ImportsByNameOrdinalAndWithoutDllName) {
  for (const bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    const std::size_t w = plus ? 8 : 4;
    std::string d;
    const auto thunk = [&](std::size_t at, std::uint64_t v) {
      plus ? Put64(d, at, v) : Put32(d, at, static_cast<std::uint32_t>(v));
    };
    // 1: two names, an ordinal, then a name the ordinal keeps from being read
    Put32(d, 0, 0x1100), Put32(d, 12, 0x1180);
    thunk(0x100, 0x11A0), thunk(0x100 + w, 0x11B0),
        thunk(0x100 + 2 * w, plus ? 0x8000000000000005ull : 0x80000005u), thunk(0x100 + 3 * w, 0x11C0);
    PutText(d, 0x180, "a.dll");
    PutText(d, 0x1A2, "One"), PutText(d, 0x1B2, "Two"), PutText(d, 0x1C2, "Never");
    // 2: no name, FirstThunk only
    Put32(d, 20 + 16, 0x1140);
    thunk(0x140, 0x11D0);
    PutText(d, 0x1D2, "Three");
    d.resize(0x200, '\0');
    PeImage img = OneSection(d, plus);
    img.directories[kImport] = {0x1000, 60};
    TPEReader r;
    r.Read(Bytes(img.File()));
    EXPECT_FALSE(r.ImportsFailed);
    std::vector<std::string> lines;
    for (const auto& i : r.Imports) lines.push_back(i.Text);
    EXPECT_EQ(lines, (std::vector<std::string>{"a.dll:One", "a.dll:Two", "?:Three"}));
  }
}

TEST(PEReader, ExportsByOrdinalOnlyHaveNoName) {
  std::string d;
  Put32(d, 16, 10);  // Base
  Put32(d, 20, 3), Put32(d, 24, 2);
  Put32(d, 28, 0x1040), Put32(d, 32, 0x1060), Put32(d, 36, 0x1070);
  Put32(d, 0x40, 0x2000), Put32(d, 0x44, 0x2010), Put32(d, 0x48, 0x2020);
  Put32(d, 0x60, 0x1080), Put32(d, 0x64, 0x1090);
  Put16(d, 0x70, 2), Put16(d, 0x72, 0);  // names for the third and the first function
  PutText(d, 0x80, "Third"), PutText(d, 0x90, "First");
  d.resize(0x100, '\0');
  PeImage img = OneSection(d);
  img.directories[kExport] = {0x1000, 0x100};
  TPEReader r;
  r.Read(Bytes(img.File()));
  EXPECT_FALSE(r.ExportsFailed);
  EXPECT_EQ(r.ExportNames, (std::vector<std::string>{"First", "", "Third"}));
  EXPECT_EQ(r.ExportOrdinals, (std::vector<std::uint32_t>{10, 11, 12}));

  // A name outside the directory's bytes says where it was looked for.
  Put32(img.sections[0].data, 0x64, 0x5000);
  TPEReader bad;
  bad.Read(Bytes(img.File()));
  EXPECT_TRUE(bad.ExportsFailed);
}

TEST(PEReader, NamedResourceTypesAreConverted) {
  std::string d;
  Put16(d, 12, 1);  // one named entry
  Put32(d, 16, 0x80000040), Put32(d, 20, 0x80000018);
  Put16(d, 0x18 + 14, 1);
  Put32(d, 0x28, 7), Put32(d, 0x2C, 0x60);
  Put16(d, 0x40, 3);
  Put16(d, 0x42, u'M'), Put16(d, 0x44, u'\xE9'), Put16(d, 0x46, u'X');
  Put32(d, 0x60, 0x1100), Put32(d, 0x64, 4);
  d.resize(0x80, '\0');
  PeImage img = OneSection(d);
  img.directories[kResource] = {0x1000, 0x80};
  TPEReader r;
  r.NarrowText = [](std::u16string_view t) {
    std::string s;
    for (char16_t c : t) s.push_back(c < 0x80 ? static_cast<char>(c) : '#');
    return s;
  };
  r.Read(Bytes(img.File()));
  EXPECT_FALSE(r.ResourcesFailed);
  ASSERT_EQ(r.Resources.size(), 1u);
  EXPECT_EQ(r.Resources[0].TypeName, "M#X");
  EXPECT_EQ(r.Resources[0].TypeID, 0u);
  EXPECT_EQ(r.ResourceLines[0], "Resource Directory: M#X");
  EXPECT_EQ(r.ResourceLines[1], "Resource Data: 7");  // a data entry at level 1 has no name of its own
}

TEST(PEReader, DirectoryToFileMapsThroughTheContainingSection) {
  PeImage img = OneSection(std::string(0x300, 'x'));  // VA 0x1000..0x1300, raw 0x200 + 0x400
  img.directories[kExport] = {0x1100, 0x40};
  img.directories[kImport] = {0x5000, 0x30};    // in no section
  img.directories[kResource] = {0x1280, 0x10};  // in the section, raw data 0x400 long
  img.directories[3] = {0x1100, 0};             // empty
  img.sections[0].sizeOfRawData = 0x100;        // raw data shorter than the directory's offset
  TPEReader r;
  r.SetReadImports(false), r.SetReadExports(false), r.SetReadResources(false);
  r.Read(Bytes(img.File()));
  std::uint32_t off = 0, delta = 0, size = 0;
  ASSERT_TRUE(r.DirectoryToFile(kExport, off, delta, size));
  EXPECT_EQ(off, 0x300u);
  EXPECT_EQ(delta, 0xE00u);
  EXPECT_EQ(size, 0u);  // 0x100 bytes into a section that has only 0x100 raw bytes
  ASSERT_TRUE(r.DirectoryToFile(kImport, off, delta, size));
  EXPECT_EQ(off, 0x5000u);
  EXPECT_EQ(size, 0x30u);
  EXPECT_FALSE(r.DirectoryToFile(3, off, delta, size));
  EXPECT_FALSE(r.DirectoryToFile(13, off, delta, size));

  img.sections[0].sizeOfRawData = 0x400;
  r.Read(Bytes(img.File()));
  ASSERT_TRUE(r.DirectoryToFile(kResource, off, delta, size));
  EXPECT_EQ(off, 0x480u);
  EXPECT_EQ(size, 0x400u - 0x280u);
}

}  // namespace
