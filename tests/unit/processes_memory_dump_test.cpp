// The process memory dump: the file layout rebuilt from a memory image, and dumps of simulated processes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/process_dump.h"
#include "platform/sim/builder.h"
#include "processes/memory_dump.h"
#include "tests/unit/pe_image.h"
#include "tests/unit/test_support.h"

namespace {

using processes::TPEReader;
using testing_support::Bytes;
using testing_support::PeImage;
using testing_support::PeSection;

std::string Str(const std::vector<std::byte>& b) {
  return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

// The output of the rebuild for a memory image (as loaded) whose sections the reader takes from it.
std::string RebuiltFrom(const std::string& memory) {
  TPEReader r;
  r.SetReadImports(false), r.SetReadExports(false), r.SetReadResources(false);
  r.Read(Bytes(memory));
  std::vector<std::byte> out;
  processes::RebuildFileLayout(Bytes(memory), out, r);
  return Str(out);
}

std::string Rebuilt(const PeImage& img, std::size_t memorySize = 0) {
  return RebuiltFrom(img.Memory(memorySize));
}

PeImage TwoSections() {
  PeImage img;
  img.sections.push_back(PeSection{".text", 0x1000, 0x180, 0x400, 0x200, std::string(0x180, 'T')});
  img.sections.push_back(PeSection{".data", 0x2000, 0x1200, 0x600, 0x1400, std::string(0x1200, 'D')});
  return img;
}

TEST(RebuildFileLayout, LaysSectionsOutAtTheirFilePositions) {
  const PeImage img = TwoSections();
  const std::string out = Rebuilt(img);
  // The headers are exactly the bytes before the first section's data.
  EXPECT_EQ(out.substr(0, 0x400), img.Memory(0).substr(0, 0x400));
  EXPECT_EQ(out.substr(0x400, 0x180), std::string(0x180, 'T'));
  EXPECT_EQ(out.substr(0x580, 0x80), std::string(0x80, '\0'));
  EXPECT_EQ(out.substr(0x600, 0x1200), std::string(0x1200, 'D'));
  // The last section's raw size beyond its virtual size is padded with zeros.
  EXPECT_EQ(out.size(), 0x600u + 0x1400u);
  EXPECT_EQ(out.substr(0x1800), std::string(0x200, '\0'));
  EXPECT_EQ(out, img.File());
}

TEST(RebuildFileLayout, EdgesOfTheSectionTable) {
  struct Case {
    const char* what;
    std::function<void(PeImage&)> change;
    std::function<void(const std::string& out)> check;
  };
  const Case cases[] = {
      {"uninitialised data between the sections contributes nothing",
       [](PeImage& img) {
         img.sections.insert(img.sections.begin() + 1,
                             PeSection{".bss", 0x1800, 0x400, 0, 0, std::string(0x400, 'B')});
       },
       [](const std::string& out) {
         EXPECT_EQ(out.find('B'), std::string::npos);
         EXPECT_EQ(out.size(), 0x600u + 0x1400u);
       }},
      {"a longer section is overwritten by the next",
       [](PeImage& img) { img.sections[0].virtualSize = 0x300; },
       [](const std::string& out) {
         EXPECT_EQ(out.substr(0x400, 0x180), std::string(0x180, 'T'));
         EXPECT_EQ(out.substr(0x600, 4), "DDDD");
       }},
      {"a section whose padding would be huge is left out",
       [](PeImage& img) { img.sections[1].pointerToRawData = 0xF0000000u; },
       [](const std::string& out) {
         EXPECT_EQ(out.find('D'), std::string::npos);
         EXPECT_LT(out.size(), 0x10000u);
       }},
      {"a virtual size past the memory image is cut to it",
       [](PeImage& img) { img.sections[1].virtualSize = 0xFFFFFFF0u; },
       [](const std::string& out) { EXPECT_EQ(out.size(), 0x600u + 0x1200u); }},
      {"no section: nothing", [](PeImage& img) { img.sections.clear(); },
       [](const std::string& out) { EXPECT_EQ(out, ""); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PeImage img = TwoSections();
    c.change(img);
    c.check(Rebuilt(img));
  }
}

TEST(RebuildFileLayout, HeadersClaimNothingTheCopyLacks) {
  // A linker's file: long section names live in the string table after the COFF symbols,
  // which lie past the sections and are never loaded.
  PeImage img = TwoSections();
  img.plus = true;
  img.sections.push_back(PeSection{"/4", 0x4000, 0x100, 0x1A00, 0x200, std::string(0x100, 'G')});
  img.sections.push_back(PeSection{"/19", 0x5000, 0x80, 0x1C00, 0x200, std::string(0x80, 'I')});
  std::string memory = img.Memory(0);
  const std::size_t fileHeader = static_cast<std::size_t>(img.lfanew) + 4;
  testing_support::Put32(memory, fileHeader + 8, 0x1E00);  // PointerToSymbolTable
  testing_support::Put32(memory, fileHeader + 12, 42);     // NumberOfSymbols

  const std::string out = RebuiltFrom(memory);
  ASSERT_EQ(out.size(), 0x1E00u);
  EXPECT_EQ(out.substr(fileHeader + 8, 8), std::string(8, '\0')) << "the symbol table is not in the copy";
  const std::size_t table = fileHeader + 20 + img.OptionalSize();
  const auto name = [&](std::size_t i) { return out.substr(table + 40 * i, 8); };
  EXPECT_EQ(name(0), std::string(".text\0\0\0", 8));
  EXPECT_EQ(name(1), std::string(".data\0\0\0", 8));
  // No name refers to a string table the file does not hold; the offset stays readable.
  EXPECT_EQ(name(2), std::string("?4\0\0\0\0\0\0", 8));
  EXPECT_EQ(name(3), std::string("?19\0\0\0\0\0", 8));
  // Only the headers changed: the sections' data is where the file has it.
  EXPECT_EQ(out.substr(table + 160), img.File().substr(table + 160));
}

// A process whose main module's memory holds `img` as loaded.
struct DumpMachine {
  explicit DumpMachine(const PeImage& img, bool openable = true, std::uint64_t base = 0x1000000) {
    auto& p = b.AddProcess(1234, u"x.exe", u"C:\\Tools\\x.exe");
    p.openable = openable;
    p.modules.push_back(sim::Module{u"x.exe", u"C:\\Tools\\x.exe", base, 0x4000, 1, 0xFFFF, 0xFFFF});
    p.memory.push_back(sim::MemoryRegion{base, img.Memory(0x4000)});
    // Memory of another allocation is not part of the image.
    p.memory.push_back(sim::MemoryRegion{base + 0x10000, std::string(0x1000, 'H')});
  }
  sim::MachineBuilder b;
};

TEST(DumpProcessImage, GivesBackTheFileLayout) {
  const PeImage img = TwoSections();
  DumpMachine m(img);
  testing_support::SimMachineFixture fixture(m.b);
  std::vector<std::byte> out;
  ASSERT_TRUE(processes::DumpProcessImage(1234, out));
  EXPECT_EQ(Str(out), img.File());

  std::vector<std::byte> memory;
  EXPECT_TRUE(processes::ReadImageMemory(1234, memory));
  EXPECT_EQ(Str(memory), img.Memory(0x4000));
}

TEST(DumpProcessImage, FailuresLeaveTheOutputEmpty) {
  struct Case {
    const char* what;
    bool openable;
    std::string memory;
  };
  const Case cases[] = {
      {"a process that cannot be opened", false, TwoSections().Memory(0x4000)},
      {"memory that holds no image", true, std::string(0x4000, 'Z')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::MachineBuilder b;
    auto& p = b.AddProcess(1234, u"x.exe", u"C:\\Tools\\x.exe");
    p.openable = c.openable;
    p.memory.push_back(sim::MemoryRegion{0x400000, c.memory});
    testing_support::SimMachineFixture fixture(b);
    std::vector<std::byte> out(3, std::byte{1});
    EXPECT_FALSE(processes::DumpProcessImage(1234, out));
    EXPECT_TRUE(out.empty());
  }
}

TEST(ProposedDumpName, ImageNameOrTheFirstModuleOnTheDesktop) {
  sim::MachineBuilder b;
  b.machine().system.shellFolders[16] = u"C:\\Documents and Settings\\User\\Desktop";
  testing_support::SimMachineFixture fixture(b);
  struct Case {
    const char* what;
    std::u16string image, module, expected;
  };
  const Case cases[] = {
      {"native prefix dropped", u"\\??\\C:\\Tools\\x.exe", u"x.exe", u"C:\\Tools\\x.exe.bin"},
      {"plain path", u"C:\\Tools\\x.exe", u"", u"C:\\Tools\\x.exe.bin"},
      {"no image name", u"", u"x.exe", u"C:\\Documents and Settings\\User\\Desktop\\x.exe.bin"},
      {"nothing known", u"", u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(app::ProposedDumpName(c.image, c.module), c.expected);
  }
  EXPECT_EQ(app::DumpFailedMessage(1234), "Could not dump the memory contents of process 1234 to a file.");
}

}  // namespace
