// The hook scan on simulated processes: relocated modules, patched entries, redirected imports,
// forwarders, missing files and hostile images.
#include "processes/hook_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "app/hooks.h"
#include "platform/pe_walks.h"
#include "platform/sim/image_loader.h"
#include "tests/unit/hook_fixture.h"
#include "tests/unit/test_support.h"

namespace {

using testing_support::BuildTinyPe;
using testing_support::LoadTiny;
using testing_support::TinyModule;

constexpr std::uint32_t kPid = 2020;
// kernelbase is loaded away from its preferred base; filterkit within a rel32 jump of it.
constexpr std::uint64_t kKernelBase = 0x7FF8A0000000, kFilterKit = 0x7FF8B0000000, kExe = 0x140000000;
constexpr std::uint64_t kRelay = 0x7FF8C0000000;  // private memory a hook may relay through
const TinyModule kKernelBaseDll{
    "kernelbase.dll", 0x180000000, {"FindClose", "FindFirstFileW", "FindNextFileW"}, {}, {}};
const TinyModule kFilterKitDll{
    "filterkit.dll", kFilterKit, {"FilterFindFirstFileW", "FilterFindNextFileW"}, {}, {}};
constexpr std::uint64_t kFindNextFileW = kKernelBase + 0x1000 + 0x40;
constexpr std::uint64_t kFilterNext = kFilterKit + 0x1000 + 0x20;

std::string Rel32(std::uint64_t from, std::uint64_t to) {
  const auto rel = static_cast<std::uint32_t>(to - (from + 5));
  std::string s(4, '\0');
  std::memcpy(s.data(), &rel, 4);
  return s;
}
template <typename T>
std::string Le(T v) {
  std::string s(sizeof v, '\0');
  std::memcpy(s.data(), &v, sizeof v);
  return s;
}

// The scanner's process: an exe importing from kernelbase, kernelbase and filterkit, before
// `more` adds patches; then the loader maps them.
processes::HookScanResult Scan(const std::function<void(sim::MachineBuilder&, sim::Process&)>& more,
                               std::vector<TinyModule> extra = {}) {
  sim::MachineBuilder b;
  b.machine().system.currentProcessId = kPid;
  sim::Process& p = b.AddProcess(kPid, u"umbrascopec.exe", u"C:\\WINDOWS\\system32\\umbrascopec.exe");
  TinyModule exe{"umbrascopec.exe",
                 kExe,
                 {},
                 {},
                 {{"kernelbase.dll", "FindFirstFileW"}, {"kernelbase.dll", "FindNextFileW"}},
                 false};
  for (const auto& e : extra)
    if (e.name == "umbrascopec.exe") exe = e;
  LoadTiny(b, p, exe, kExe);
  LoadTiny(b, p, kKernelBaseDll, kKernelBase);
  LoadTiny(b, p, kFilterKitDll, kFilterKit);
  std::uint64_t next = 0x7FF8D0000000;
  for (const auto& e : extra)
    if (e.name != "umbrascopec.exe") LoadTiny(b, p, e, next += 0x100000);
  if (more) more(b, p);
  sim::MapModuleImages(b.machine(), p);
  testing_support::SimMachineFixture fixture(b);
  return processes::ScanProcessHooks(kPid);
}

sim::Module& Named(sim::Process& p, const std::u16string& name) {
  for (auto& m : p.modules)
    if (m.name == name) return m;
  throw std::logic_error("no module");
}

TEST(HookScan, RelocatedModulesCompareEqual) {
  const auto r = Scan(nullptr);
  EXPECT_TRUE(r.hooks.empty());
  EXPECT_TRUE(r.notChecked.empty()) << (r.notChecked.empty() ? "" : r.notChecked[0].reason);
  EXPECT_EQ(r.checkedPids, std::vector<std::uint32_t>{kPid});
}

TEST(HookScan, RelocationsChangeTheImmediateByTheDelta) {
  // The walk itself: a DIR64 and a HIGHLOW entry in one block, an absolute entry as padding.
  std::string block = Le<std::uint32_t>(0x1000) + Le<std::uint32_t>(8 + 6) +
                      Le<std::uint16_t>((10u << 12) | 0x10) + Le<std::uint16_t>((3u << 12) | 0x20) +
                      Le<std::uint16_t>(0);
  std::vector<platform::pe::Relocation> rel;
  std::string error;
  ASSERT_TRUE(platform::pe::WalkRelocations(std::as_bytes(std::span(block.data(), block.size())), rel, error))
      << error;
  ASSERT_EQ(rel.size(), 2u);
  std::vector<std::byte> image(0x2000);
  const std::uint64_t v64 = 0x180002000;
  const std::uint32_t v32 = 0x10002000;
  std::memcpy(image.data() + 0x1010, &v64, 8);
  std::memcpy(image.data() + 0x1020, &v32, 4);
  ASSERT_TRUE(platform::pe::ApplyRelocations(image, rel, 0x1000, error)) << error;
  std::uint64_t got64 = 0;
  std::uint32_t got32 = 0;
  std::memcpy(&got64, image.data() + 0x1010, 8);
  std::memcpy(&got32, image.data() + 0x1020, 4);
  EXPECT_EQ(got64, v64 + 0x1000);
  EXPECT_EQ(got32, v32 + 0x1000);
}

struct FormCase {
  const char* what;
  std::uint32_t offset;  // from FindNextFileW's entry
  std::function<std::string(std::uint64_t at)> bytes;
  std::function<void(sim::Process&)> relay;  // private memory the hook uses, if any
  const char* function;
  std::uint64_t target;
  const char16_t* targetModule;
  const char* targetFunction;
};

TEST(HookScan, EachHookFormLeadsToItsTarget) {
  const FormCase cases[] = {
      {"E9 jump", 0, [](std::uint64_t at) { return "\xE9" + Rel32(at, kFilterNext); }, nullptr,
       "FindNextFileW", kFilterNext, u"filterkit.dll", "FilterFindNextFileW"},
      {"E8 call", 0, [](std::uint64_t at) { return "\xE8" + Rel32(at, kFilterNext); }, nullptr,
       "FindNextFileW", kFilterNext, u"filterkit.dll", "FilterFindNextFileW"},
      {"EB short jump within the module", 0, [](std::uint64_t) { return std::string("\xEB\xDE"); }, nullptr,
       "FindNextFileW", kFindNextFileW + 2 - 0x22, u"kernelbase.dll", "FindFirstFileW"},
      {"FF 25 through a pointer in private memory", 0,
       [](std::uint64_t at) {
         return "\xFF\x25" + Le<std::int32_t>(static_cast<std::int32_t>(kRelay - (at + 6)));
       },
       [](sim::Process& p) {
         p.memory.push_back({kRelay, Le<std::uint64_t>(kFilterNext)});
       },
       "FindNextFileW", kFilterNext, u"filterkit.dll", "FilterFindNextFileW"},
      {"mov rax; jmp rax", 0,
       [](std::uint64_t) { return "\x48\xB8" + Le<std::uint64_t>(kFilterNext) + "\xFF\xE0"; }, nullptr,
       "FindNextFileW", kFilterNext, u"filterkit.dll", "FilterFindNextFileW"},
      {"push; mov [rsp+4]; ret", 0,
       [](std::uint64_t) {
         return "\x68" + Le<std::uint32_t>(static_cast<std::uint32_t>(kFilterNext)) + "\xC7\x44\x24\x04" +
                Le<std::uint32_t>(static_cast<std::uint32_t>(kFilterNext >> 32)) + "\xC3";
       },
       nullptr, "FindNextFileW", kFilterNext, u"filterkit.dll", "FilterFindNextFileW"},
      {"breakpoint", 0, [](std::uint64_t) { return std::string("\xCC"); }, nullptr, "FindNextFileW", 0, u"",
       ""},
      {"relay in private memory", 0, [](std::uint64_t at) { return "\xE9" + Rel32(at, kRelay); },
       [](sim::Process& p) {
         p.memory.push_back({kRelay, "\x48\xB8" + Le<std::uint64_t>(kFilterKit + 0x1010) + "\xFF\xE0"});
       },
       "FindNextFileW", kFilterKit + 0x1010, u"filterkit.dll", ""},
      {"inside the function", 4, [](std::uint64_t) { return std::string("\x90\x90"); }, nullptr,
       "FindNextFileW+0x4", 0, u"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string bytes = c.bytes(kFindNextFileW + c.offset);
    const auto r = Scan([&](sim::MachineBuilder&, sim::Process& p) {
      Named(p, u"kernelbase.dll").patches.push_back({c.offset, "FindNextFileW", bytes});
      if (c.relay) c.relay(p);
    });
    ASSERT_EQ(r.hooks.size(), 1u);
    const auto& h = r.hooks[0];
    EXPECT_EQ(h.kind, processes::HookKind::CodeModified);
    EXPECT_EQ(h.module, u"kernelbase.dll");
    EXPECT_EQ(h.function, c.function);
    EXPECT_EQ(h.address, kFindNextFileW + c.offset);
    EXPECT_LE(h.size, bytes.size());
    EXPECT_EQ(h.current.size(), h.size);
    EXPECT_EQ(h.target, c.target);
    EXPECT_EQ(h.targetModule, c.targetModule);
    EXPECT_EQ(h.targetFunction, c.targetFunction);
    EXPECT_EQ(h.processName, u"umbrascopec.exe");
  }
}

TEST(HookScan, RedirectedImportNamesWhatTheSlotShouldHold) {
  const auto r = Scan([](sim::MachineBuilder&, sim::Process& p) {
    Named(p, u"umbrascopec.exe")
        .importPatches.push_back({"kernelbase.dll", "FindFirstFileW", kFilterKit + 0x1000});
  });
  ASSERT_EQ(r.hooks.size(), 1u);
  const auto& h = r.hooks[0];
  EXPECT_EQ(h.kind, processes::HookKind::ImportRedirected);
  EXPECT_EQ(h.module, u"umbrascopec.exe");
  EXPECT_EQ(h.importedFrom, "kernelbase.dll!FindFirstFileW");
  EXPECT_EQ(h.target, kFilterKit + 0x1000);
  EXPECT_EQ(h.targetModule, u"filterkit.dll");
  EXPECT_EQ(h.targetFunction, "FilterFindFirstFileW");
  EXPECT_EQ(
      app::HookText(h),
      "2020 umbrascopec.exe  umbrascopec.exe imports kernelbase.dll!FindFirstFileW  Import redirected  -> "
      "filterkit.dll!FilterFindFirstFileW");
}

TEST(HookScan, ImportOfAForwardedExportIsNoFinding) {
  // The exe imports kernel32!FindFirstFileW, which kernel32 forwards to kernelbase: the slot
  // holds kernelbase's address, as the loader leaves it.
  const TinyModule kernel32{
      "kernel32.dll", 0x7FF8E0000000, {"Beep"}, {{"FindFirstFileW", "kernelbase.FindFirstFileW"}}, {}};
  const TinyModule exe{"umbrascopec.exe", kExe, {}, {}, {{"kernel32.dll", "FindFirstFileW"}}, false};
  const auto r = Scan(nullptr, {exe, kernel32});
  EXPECT_TRUE(r.hooks.empty()) << (r.hooks.empty() ? "" : app::HookText(r.hooks[0]));
  EXPECT_TRUE(r.notChecked.empty()) << (r.notChecked.empty() ? "" : r.notChecked[0].reason);
}

TEST(HookScan, WhatCannotBeCheckedIsListedWithItsReason) {
  {
    SCOPED_TRACE("module file missing");
    const auto r = Scan([](sim::MachineBuilder& b, sim::Process& p) {
      p.modules.push_back(sim::Module{
          u"gone.dll", u"C:\\WINDOWS\\system32\\gone.dll", 0x7FF8F0000000, 0x4000, 1, 1, 1, {}, {}});
      (void)b;
    });
    ASSERT_EQ(r.notChecked.size(), 1u);
    EXPECT_EQ(r.notChecked[0].module, u"gone.dll");
    EXPECT_NE(r.notChecked[0].reason.find("cannot open the module's file"), std::string::npos)
        << r.notChecked[0].reason;
    EXPECT_NE(r.notChecked[0].reason.find("(error 2)"), std::string::npos) << r.notChecked[0].reason;
    EXPECT_EQ(r.checkedPids, std::vector<std::uint32_t>{kPid});
  }
  {
    SCOPED_TRACE("process not openable");
    sim::MachineBuilder b;
    b.AddProcess(77, u"guarded.exe").openable = false;
    testing_support::SimMachineFixture fixture(b);
    const auto r = processes::ScanProcessHooks(77);
    ASSERT_EQ(r.notChecked.size(), 1u);
    EXPECT_TRUE(r.notChecked[0].module.empty());
    EXPECT_NE(r.notChecked[0].reason.find("cannot open the process"), std::string::npos);
    EXPECT_TRUE(r.checkedPids.empty());
  }
}

struct HostileCase {
  const char* what;
  std::function<void(std::string&)> spoil;
  const char* reason;
};

TEST(HookScan, HostileImagesAreNotCheckedNotCrashed) {
  using testing_support::kRelocDirSizeOffset;
  using testing_support::kRelocFileOffset;
  const auto put32 = [](std::string& f, std::size_t at, std::uint32_t v) {
    std::memcpy(f.data() + at, &v, 4);
  };
  const HostileCase cases[] = {
      {"block size 0", [&](std::string& f) { put32(f, kRelocFileOffset + 4, 0); }, "has size 0"},
      {"block larger than the directory", [&](std::string& f) { put32(f, kRelocFileOffset + 4, 0xFFFFFFF0); },
       "runs past the directory"},
      {"truncated block", [&](std::string& f) { put32(f, kRelocDirSizeOffset, 6); }, "is cut short"},
      {"unsupported type",
       [&](std::string& f) {
         f[kRelocFileOffset + 9] = static_cast<char>((f[kRelocFileOffset + 9] & 0x0F) | 0x50);
       },
       "type 5"},
      {"directory beyond the image", [&](std::string& f) { put32(f, kRelocDirSizeOffset, 0x7FFFFFFF); },
       "lies outside the image"},
      {"section beyond the file", [](std::string& f) { f.resize(kRelocFileOffset + 4); },
       "beyond the end of the file"},
      {"not an image", [](std::string& f) { f[0] = 'X'; }, "no readable image"},
  };
  const TinyModule victim{"victim.dll", 0x180000000, {"Work"}, {}, {}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string file = BuildTinyPe(victim);
    c.spoil(file);
    const auto r =
        Scan([&](sim::MachineBuilder& b, sim::Process& p) { LoadTiny(b, p, victim, 0x7FF8F0000000, &file); });
    EXPECT_TRUE(r.hooks.empty());
    ASSERT_EQ(r.notChecked.size(), 1u);
    EXPECT_EQ(r.notChecked[0].module, u"victim.dll");
    EXPECT_NE(r.notChecked[0].reason.find(c.reason), std::string::npos) << r.notChecked[0].reason;
  }
}

TEST(HookScan, JsonCarriesBytesAndTarget) {
  const auto r = Scan([](sim::MachineBuilder&, sim::Process& p) {
    Named(p, u"kernelbase.dll")
        .patches.push_back({0, "FindNextFileW", "\xE9" + Rel32(kFindNextFileW, kFilterNext)});
  });
  const auto j = app::HooksJson(r);
  ASSERT_EQ(j["hooks"].size(), 1u);
  const auto& h = j["hooks"][0];
  EXPECT_EQ(h["kind"], "Code modified in memory");
  EXPECT_EQ(h["function"], "FindNextFileW");
  EXPECT_EQ(h["bytes"].get<std::string>().substr(0, 2), "e9");
  EXPECT_EQ(h["originalBytes"].get<std::string>().substr(0, 5), "48 b8");
  EXPECT_EQ(h["targetModule"], "filterkit.dll");
  EXPECT_EQ(h["target"], "0x7ff8b0001020");
  EXPECT_EQ(j["checked"], nlohmann::ordered_json::array({kPid}));
}

TEST(HookScan, QuickScanExplainsAHookedListingFunction) {
  for (const bool hooked : {true, false}) {
    SCOPED_TRACE(hooked ? "hooked" : "clean");
    sim::MachineBuilder b;
    b.machine().system.currentProcessId = kPid;
    b.File(u"C:\\WINDOWS\\ghost.sys", "x").hidden = true;
    sim::Process& p = b.AddProcess(kPid, u"umbrascopec.exe", u"C:\\WINDOWS\\system32\\umbrascopec.exe");
    const TinyModule exe{"umbrascopec.exe", kExe, {}, {}, {{"kernelbase.dll", "FindNextFileW"}}, false};
    LoadTiny(b, p, exe, kExe);
    LoadTiny(b, p, kKernelBaseDll, kKernelBase);
    LoadTiny(b, p, kFilterKitDll, kFilterKit);
    if (hooked)
      Named(p, u"kernelbase.dll")
          .patches.push_back({0, "FindNextFileW", "\xE9" + Rel32(kFindNextFileW, kFilterNext)});
    sim::MapModuleImages(b.machine(), p);
    testing_support::SimMachineFixture fixture(b);
    const auto lines = app::QuickScanExplanation();
    if (hooked)
      EXPECT_EQ(lines,
                std::vector<std::string>{
                    "the Win32 file listing is filtered: kernelbase!FindNextFileW jumps into filterkit.dll"});
    else
      EXPECT_TRUE(lines.empty());
  }
}

TEST(HookScan, ImagePatchesThatCannotApplyAreRefusedWithTheirPath) {
  const auto image = [](const std::string& module) {
    std::string file = BuildTinyPe(kKernelBaseDll), b64;
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < file.size(); i += 3) {
      std::uint32_t v = static_cast<std::uint8_t>(file[i]) << 16;
      if (i + 1 < file.size()) v |= static_cast<std::uint8_t>(file[i + 1]) << 8;
      if (i + 2 < file.size()) v |= static_cast<std::uint8_t>(file[i + 2]);
      b64 += digits[(v >> 18) & 63];
      b64 += digits[(v >> 12) & 63];
      b64 += i + 1 < file.size() ? digits[(v >> 6) & 63] : '=';
      b64 += i + 2 < file.size() ? digits[v & 63] : '=';
    }
    return R"({"umbrascopeImage": 1, "files": [{"path": "C:\\k.dll", "contentBase64": ")" + b64 +
           R"("}], "processes": [{"pid": 9, "modules": [)" + module + "]}]}";
  };
  {
    SCOPED_TRACE("a patch that applies");
    EXPECT_NO_THROW(sim::LoadImage(
        image(
            R"({"path": "C:\\k.dll", "base": "0x7FF8A0000000", "patches": [{"export": "FindClose", "hex": "cc"}]})"),
        "t.json"));
  }
  const std::pair<std::string, std::string> refused[] = {
      {R"({"path": "C:\\k.dll", "base": "0x7FF8A0000000", "patches": [{"export": "Nope", "hex": "cc"}]})",
       "processes[0].modules[0]: the module exports no code named Nope"},
      {R"({"path": "C:\\k.dll", "base": "0x7FF8A0000000", "patches": [{"rva": "0x3FFF", "hex": "cc cc"}]})",
       "processes[0].modules[0]: a patch lies outside the module's image"},
      {R"({"path": "C:\\none.dll", "base": "0x7FF8A0000000", "patches": [{"rva": 0, "hex": "cc"}]})",
       "processes[0].modules[0]: the module has patches but cannot be mapped"},
      {R"({"path": "C:\\k.dll", "base": "0x7FF8A0000000", "importPatches": [{"dll": "a.dll", "function": "F", "target": 1}]})",
       "processes[0].modules[0]: the module imports no F from a.dll"},
      {R"({"path": "C:\\k.dll", "base": "0x7FF8A0000000", "patches": [{"rva": 0}]})",
       "processes[0].modules[0].patches[0]: a patch needs either"},
  };
  for (const auto& [module, message] : refused) {
    SCOPED_TRACE(message);
    try {
      sim::LoadImage(image(module), "t.json");
      ADD_FAILURE() << "loaded";
    } catch (const sim::ImageError& e) {
      EXPECT_NE(std::string(e.what()).find("t.json: " + message), std::string::npos) << e.what();
    }
  }
}

}  // namespace
