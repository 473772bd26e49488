// The conformance suite's machine in the native build: a simulated machine made with the builder.
#include <stdexcept>

#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"
#include "tests/conformance/backend.h"

namespace conformance {

namespace {

constexpr std::uint32_t kOwnPid = 0x7FF0;  // what the simulated GetCurrentProcessId answers
constexpr platform::Handle kOwnFile = 0x44;
constexpr char16_t kExe[] = u"umbrascope_conformance.exe";

class SimBackend final : public Backend {
 public:
  SimBackend() {
    // The process the suite runs in, with one open file, as the real machine has it.
    auto& self = builder_.AddProcess(kOwnPid, kExe, std::u16string(u"C:\\tests\\") + kExe);
    self.handles.push_back(
        sim::HandleEntry{static_cast<std::uint32_t>(kOwnFile), 28, 0x120089, 0xFFFFA00012345670ULL,
                         std::u16string(u"\\Device\\HarddiskVolume1\\tests\\") + kExe, false});
    // Other processes hold handles too, as on any running system.
    auto& system = builder_.AddProcess(4, u"System");
    for (std::uint32_t h : {4u, 8u, 12u})
      system.handles.push_back(sim::HandleEntry{h, 5, 0x1F0FFF, 0xFFFFA00000001000ULL + h, u"", false});
    self.modules.push_back(
        sim::Module{kExe, std::u16string(u"C:\\tests\\") + kExe, 0x140000000ULL, 0x80000, 1, 1, 1});
    // Its image is in memory where its module lies, and on disk where its path says.
    const std::string image = "MZ" + std::string(0x1000 - 2, '\0');
    self.memory.push_back(sim::MemoryRegion{0x140000000ULL, image});
    builder_.File(std::u16string(u"C:\\tests\\") + kExe, image);
  }

  std::uint64_t MakeMemory(const std::string& bytes) override {
    auto& self = builder_.machine().processes.front();
    const std::uint64_t at = 0x10000000ULL + 0x100000ULL * self.memory.size();
    self.memory.push_back(sim::MemoryRegion{at, bytes});
    return at;
  }

  std::u16string MakeFolder(const std::vector<Entry>& entries) override {
    const std::u16string path = Fresh(u"C:\\scratch\\folder");
    builder_.Folder(path);
    for (const auto& e : entries) {
      if (e.folder)
        builder_.Folder(path + u"\\" + e.name);
      else
        builder_.File(path + u"\\" + e.name, e.content);
    }
    return path;
  }

  std::u16string MakeFileWithStream(const std::string& main, const std::u16string& stream,
                                    const std::string& data) override {
    const std::u16string folder = Fresh(u"C:\\scratch\\folder");
    const std::u16string path = folder + u"\\streams.txt";
    builder_.Folder(folder);
    auto& file = builder_.File(path, main);
    file.streams.push_back(sim::Stream{stream, data, data.size()});
    return path;
  }

  TestKey MakeKey(const KeySpec& spec) override {
    const std::u16string subKey = Fresh(u"Software\\UmbrascopeConformance");
    const std::u16string full = u"HKEY_CURRENT_USER\\" + subKey;
    builder_.Key(full);
    for (const auto& name : spec.subkeys) builder_.Key(full + u"\\" + name);
    for (const auto& v : spec.values) {
      std::vector<std::uint8_t> bytes(v.data.size());
      for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(v.data[i]);
      builder_.Value(full, v.name, v.type, std::move(bytes));
    }
    const auto native = sim::NativeKeyPath(full, builder_.machine().system.userSid);
    if (!native) throw std::logic_error("no native path for the current user's key");
    return TestKey{*native, platform::HKEY_CURRENT_USER, subKey};
  }

  platform::Platform& Platform() override {
    if (!sim_) sim_ = std::make_unique<sim::SimPlatform>(builder_.Build());
    return sim_->platform();
  }
  platform::Handle OwnFileHandle() override { return kOwnFile; }
  std::u16string OwnFileName() override { return kExe; }
  std::string OwnExeFile() override { return "umbrascope_conformance.exe"; }
  const Answers& Expected() override { return kWindows; }
  bool Simulated() const override { return true; }

 private:
  // A name no earlier call of this test used.
  std::u16string Fresh(std::u16string_view stem) {
    if (sim_) throw std::logic_error("the simulated machine is built: set up before the first Platform()");
    std::u16string name(stem);
    const std::string n = std::to_string(++made_);
    name.append(n.begin(), n.end());
    return name;
  }

  sim::MachineBuilder builder_;
  std::unique_ptr<sim::SimPlatform> sim_;
  unsigned made_ = 0;
};

}  // namespace

std::unique_ptr<Backend> MakeBackend() { return std::make_unique<SimBackend>(); }

}  // namespace conformance
