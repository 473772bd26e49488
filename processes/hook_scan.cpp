// Compares the modules of one process with their files: code sections byte for byte, import slots
// against the exporting module.
#include "processes/hook_scan.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <set>

#include "base/names.h"
#include "base/security_text.h"
#include "platform/handles.h"
#include "platform/pe_walks.h"
#include "platform/platform.h"
#include "platform/record_io.h"
#include "processes/hook_decode.h"
#include "processes/pe_reader.h"
#include "processes/snapshots.h"

namespace processes {
namespace {

namespace rec = platform::records;
namespace pe = platform::pe;

// Memory is read in pieces of this size; a piece that fails is read again page by page, so one
// unreadable page costs only itself.
constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kPage = 4096;
// Differing bytes closer than this belong to one patch.
constexpr std::size_t kMergeGap = 8;
// A relay outside every module is followed this many times at most.
constexpr int kMaxHops = 3;
constexpr std::uint64_t kMaxFileBytes = pe::kMaxLaidOutImage;

std::string Hex(std::uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

std::string ErrorReason(const std::string& what, platform::DWORD error) {
  return what + ": " + base::SystemErrorText(error) + " (error " + std::to_string(error) + ")";
}

std::u16string Lower(std::u16string s) {
  for (auto& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return s;
}
std::string Lower(std::string s) {
  for (auto& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// A module of the snapshot and, once its file was read, what its memory should hold.
struct LoadedModule {
  std::u16string name, path, key;  // key: the name in lower case
  std::uint64_t base = 0;
  std::uint32_t size = 0;
  bool tried = false;
  std::string error;  // why the file could not be used; empty when it was
  pe::LayoutFacts facts;
  std::vector<std::byte> image;  // laid out and relocated for `base`
  std::vector<pe::ExportEntry> exports;

  bool Holds(std::uint64_t address) const { return address >= base && address - base < size; }
  bool Ready() const { return tried && error.empty(); }
};

bool ReadWholeFile(const std::u16string& path, std::vector<std::byte>& out, std::string& reason) {
  auto& k32 = platform::Current().kernel32;
  const platform::KernelFileHandle file(
      k32.CreateFileW(path, platform::GENERIC_READ,
                      platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE | platform::FILE_SHARE_DELETE,
                      platform::OPEN_EXISTING, 0));
  if (!file) {
    reason = ErrorReason("cannot open the module's file", k32.GetLastError());
    return false;
  }
  platform::DWORD high = 0;
  const platform::DWORD low = k32.GetFileSize(file.get(), &high);
  if (low == platform::INVALID_FILE_SIZE && k32.GetLastError() != 0) {
    reason = ErrorReason("cannot tell the size of the module's file", k32.GetLastError());
    return false;
  }
  const std::uint64_t size = (std::uint64_t{high} << 32) | low;
  if (size > kMaxFileBytes) {
    reason = "the module's file is larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
    return false;
  }
  out.assign(static_cast<std::size_t>(size), std::byte{0});
  std::size_t done = 0;
  while (done < out.size()) {
    platform::DWORD got = 0;
    const std::size_t want = std::min<std::size_t>(out.size() - done, 1u << 20);
    if (!k32.ReadFile(file.get(), std::span(out).subspan(done, want), got)) {
      reason = ErrorReason("cannot read the module's file", k32.GetLastError());
      return false;
    }
    if (got == 0) break;  // the file shrank since its size was asked
    done += got;
  }
  out.resize(done);
  return true;
}

// Reads the module's file and lays it out as the loader would have at the module's base.
void Prepare(LoadedModule& m) {
  if (m.tried) return;
  m.tried = true;
  std::vector<std::byte> file;
  if (!ReadWholeFile(m.path, file, m.error)) return;
  TPEReader reader;
  reader.SetReadImports(false);
  reader.SetReadExports(false);
  reader.SetReadResources(false);
  try {
    reader.Read(file);
  } catch (const PEReaderError& e) {
    m.error = std::string("the module's file is no readable image: ") + e.what();
    return;
  }
  const bool plus = reader.IsPE32Plus();
  m.facts.pe32plus = plus;
  m.facts.imageBase = reader.ImageBase();
  m.facts.sizeOfImage = plus ? reader.OptionalHeader64.SizeOfImage : reader.OptionalHeader32.SizeOfImage;
  m.facts.sizeOfHeaders =
      plus ? reader.OptionalHeader64.SizeOfHeaders : reader.OptionalHeader32.SizeOfHeaders;
  m.facts.sections = reader.Sections;
  const std::uint32_t dirs =
      plus ? reader.OptionalHeader64.NumberOfRvaAndSizes : reader.OptionalHeader32.NumberOfRvaAndSizes;
  for (std::size_t i = 0; i < rec::kImageReadDirectories && i < dirs; ++i)
    m.facts.directories[i] = reader.Directory(i);
  std::string error;
  if (!pe::LayOutImage(file, m.facts, m.image, error) ||
      !pe::RelocateImage(m.image, m.facts, m.base, error)) {
    m.error = "the module's file cannot be laid out: " + error;
    m.image.clear();
    return;
  }
  if (!pe::WalkExports(m.image, m.facts, m.exports, error))
    m.exports.clear();  // names only; the code is still compared
}

class ProcessScan {
 public:
  ProcessScan(std::uint32_t pid, platform::Handle process, HookScanResult& result)
      : pid_(pid), process_(process), result_(result) {}

  void Run(const HookScanOptions& options) {
    for (auto& m : modules_) {
      if (options.checkModule && !options.checkModule(m.name)) continue;
      Prepare(m);
      if (!m.Ready()) {
        result_.notChecked.push_back({pid_, m.name, m.error});
        continue;
      }
      CompareCode(m);
      CheckImports(m);
    }
  }

  std::vector<LoadedModule> modules_;
  std::u16string processName_;

 private:
  bool ReadMemory(std::uint64_t address, std::span<std::byte> out) {
    std::size_t got = 0;
    return platform::Current().kernel32.ReadProcessMemory(process_, address, out, got) && got == out.size();
  }

  LoadedModule* ModuleAt(std::uint64_t address) {
    for (auto& m : modules_)
      if (m.Holds(address)) return &m;
    return nullptr;
  }

  LoadedModule* ModuleNamed(std::u16string key) {
    key = Lower(std::move(key));
    for (auto& m : modules_)
      if (m.key == key) return &m;
    // A forwarder names the module without its extension.
    for (auto& m : modules_)
      if (m.key == key + u".dll") return &m;
    return nullptr;
  }

  // "name" at an export, "name+0x12" after one, "+0x1a2b" (from the base) before every export.
  static std::string FunctionAt(const LoadedModule& m, std::uint32_t rva) {
    const pe::ExportEntry* best = nullptr;
    for (const auto& e : m.exports)
      if (e.forwarder.empty() && e.rva <= rva && (best == nullptr || e.rva > best->rva)) best = &e;
    if (best == nullptr) return "+" + Hex(rva);
    const std::string name = best->name.empty() ? "#" + std::to_string(best->ordinal) : best->name;
    return best->rva == rva ? name : name + "+" + Hex(rva - best->rva);
  }

  void NameTarget(HookFinding& f) {
    LoadedModule* t = ModuleAt(f.target);
    if (t == nullptr) return;
    f.targetModule = t->name;
    Prepare(*t);
    const auto rva = static_cast<std::uint32_t>(f.target - t->base);
    for (const auto& e : t->exports)
      if (e.forwarder.empty() && e.rva == rva) {
        f.targetFunction = e.name.empty() ? "#" + std::to_string(e.ordinal) : e.name;
        return;
      }
  }

  // Up to 16 bytes of code at `address`, fewer where the readable memory ends sooner.
  std::vector<std::uint8_t> CodeAt(std::uint64_t address) {
    for (std::size_t n = 16; n > 0; n = n > 4 ? n - 4 : n - 1) {
      std::vector<std::byte> raw(n);
      if (ReadMemory(address, raw)) {
        std::vector<std::uint8_t> out(n);
        std::memcpy(out.data(), raw.data(), n);
        return out;
      }
    }
    return {};
  }

  // Where the code at `address` leads, following relays that lie outside every module.
  std::uint64_t Follow(std::uint64_t address, bool x64) {
    std::uint64_t at = address;
    std::uint64_t found = 0;
    for (int hop = 0; hop <= kMaxHops; ++hop) {
      const std::vector<std::uint8_t> bytes = CodeAt(at);
      if (bytes.empty()) return found;
      DecodedHook d = DecodeHook(bytes, at, x64);
      if (d.form == DecodedHook::Form::None || d.form == DecodedHook::Form::Breakpoint) return found;
      if (d.form == DecodedHook::Form::IndirectJump) {
        std::byte ptr[8] = {};
        if (!ReadMemory(d.pointer, std::span(ptr, x64 ? 8 : 4))) return found;
        std::uint64_t v = 0;
        std::memcpy(&v, ptr, x64 ? 8 : 4);
        d.target = v;
      }
      found = d.target;
      if (ModuleAt(found) != nullptr) return found;
      at = found;
    }
    return found;
  }

  // The ranges of the module that the loader writes: the import address table.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> LoaderWrites(const LoadedModule& m) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    const auto iat = m.facts.directories[rec::kImageDirectoryIat];
    if (iat.VirtualAddress != 0 && iat.Size != 0)
      ranges.emplace_back(iat.VirtualAddress, iat.VirtualAddress + iat.Size);
    std::vector<pe::ImportSlot> slots;
    std::string error;
    pe::WalkImports(m.image, m.facts, slots, error);
    const std::uint32_t width = m.facts.pe32plus ? 8 : 4;
    for (const auto& s : slots) ranges.emplace_back(s.slotRva, s.slotRva + width);
    return ranges;
  }

  void CompareCode(LoadedModule& m) {
    const auto skip = LoaderWrites(m);
    const auto skipped = [&](std::uint32_t rva) {
      return std::any_of(skip.begin(), skip.end(),
                         [&](const auto& r) { return rva >= r.first && rva < r.second; });
    };
    std::vector<std::byte> live;
    for (const auto& s : m.facts.sections) {
      if ((s.Characteristics & (rec::kImageScnMemExecute | rec::kImageScnCntCode)) == 0) continue;
      std::uint64_t length = s.VirtualSize != 0 ? s.VirtualSize : s.SizeOfRawData;
      if (s.VirtualAddress >= m.image.size()) continue;
      length = std::min<std::uint64_t>(length, m.image.size() - s.VirtualAddress);
      const std::string name(reinterpret_cast<const char*>(s.Name),
                             strnlen(reinterpret_cast<const char*>(s.Name), 8));
      std::uint64_t unreadable = 0, firstUnreadable = 0;
      std::optional<std::pair<std::uint32_t, std::uint32_t>> patch;  // [start, end) RVAs
      const auto flush = [&] {
        if (patch) Report(m, patch->first, patch->second);
        patch.reset();
      };
      for (std::uint64_t off = 0; off < length; off += kChunk) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - off));
        const std::uint32_t rva0 = static_cast<std::uint32_t>(s.VirtualAddress + off);
        live.assign(n, std::byte{0});
        std::vector<bool> readable(n, true);
        if (!ReadMemory(m.base + rva0, live)) {
          for (std::size_t p = 0; p < n; p += kPage) {
            const std::size_t pn = std::min(kPage, n - p);
            if (!ReadMemory(m.base + rva0 + p, std::span(live).subspan(p, pn))) {
              if (unreadable == 0) firstUnreadable = rva0 + p;
              unreadable += pn;
              std::fill(readable.begin() + static_cast<std::ptrdiff_t>(p),
                        readable.begin() + static_cast<std::ptrdiff_t>(p + pn), false);
            }
          }
        }
        for (std::size_t i = 0; i < n; ++i) {
          const std::uint32_t rva = rva0 + static_cast<std::uint32_t>(i);
          if (!readable[i] || live[i] == m.image[rva] || skipped(rva)) continue;
          if (patch && rva - patch->second < kMergeGap) {
            patch->second = rva + 1;
          } else {
            flush();
            patch = std::make_pair(rva, rva + 1);
          }
        }
      }
      flush();
      if (unreadable != 0)
        result_.notChecked.push_back({pid_, m.name,
                                      std::to_string(unreadable) + " bytes of section " + name +
                                          " from RVA " + Hex(firstUnreadable) +
                                          " could not be read from memory"});
    }
  }

  // A hook whose first bytes happen to equal the original ones (a `mov rax, imm64` over a
  // `mov rax, imm64`) differs only further in: its form starts at most 15 bytes before the first
  // differing byte and reaches it. Answers that start, or `start` when no form does.
  std::uint32_t FormStart(const LoadedModule& m, std::uint32_t start) {
    for (std::uint32_t back = 1; back <= 15 && back <= start; ++back) {
      const std::vector<std::uint8_t> bytes = CodeAt(m.base + start - back);
      const DecodedHook d = DecodeHook(bytes, m.base + start - back, m.facts.pe32plus);
      if (d.form != DecodedHook::Form::None && d.form != DecodedHook::Form::Breakpoint && d.length > back)
        return start - back;
    }
    return start;
  }

  void Report(LoadedModule& m, std::uint32_t start, std::uint32_t end) {
    const std::vector<std::uint8_t> first = CodeAt(m.base + start);
    if (DecodeHook(first, m.base + start, m.facts.pe32plus).form == DecodedHook::Form::None)
      start = FormStart(m, start);
    HookFinding f;
    f.pid = pid_;
    f.processName = processName_;
    f.module = m.name;
    f.kind = HookKind::CodeModified;
    f.address = m.base + start;
    f.size = end - start;
    f.function = FunctionAt(m, start);
    f.original.resize(f.size);
    std::memcpy(f.original.data(), m.image.data() + start, f.size);
    std::vector<std::byte> now(f.size);
    if (ReadMemory(f.address, now)) {
      f.current.resize(f.size);
      std::memcpy(f.current.data(), now.data(), f.size);
    }
    f.target = Follow(f.address, m.facts.pe32plus);
    NameTarget(f);
    result_.hooks.push_back(std::move(f));
  }

  // The modules an import of `function` (or `ordinal`) from `dll` may lead into: the exporter,
  // or where its forwarder leads. A DLL that is not loaded (an API set name) is taken to be
  // any module exporting the function by name.
  void Exporters(const std::string& dll, const std::string& function, std::uint32_t ordinal, int depth,
                 std::set<const LoadedModule*>& out) {
    if (depth > 4) return;
    LoadedModule* m = ModuleNamed(std::u16string(dll.begin(), dll.end()));
    const auto follow = [&](const std::string& fwd) {
      const auto dot = fwd.find('.');
      if (dot == std::string::npos) return;
      const std::string name = fwd.substr(dot + 1);
      if (!name.empty() && name[0] == '#')
        Exporters(fwd.substr(0, dot), {},
                  static_cast<std::uint32_t>(std::strtoul(name.c_str() + 1, nullptr, 10)), depth + 1, out);
      else
        Exporters(fwd.substr(0, dot), name, 0, depth + 1, out);
    };
    if (m == nullptr) {
      if (function.empty()) return;
      for (auto& other : modules_) {
        Prepare(other);
        for (const auto& e : other.exports)
          if (e.name == function) {
            if (e.forwarder.empty())
              out.insert(&other);
            else if (Lower(e.forwarder.substr(0, e.forwarder.find('.'))) != Lower(dll))
              follow(e.forwarder);
          }
      }
      return;
    }
    Prepare(*m);
    for (const auto& e : m->exports) {
      if (function.empty() ? e.ordinal != ordinal : e.name != function) continue;
      if (e.forwarder.empty())
        out.insert(m);
      else
        follow(e.forwarder);
      return;
    }
  }

  void CheckImports(LoadedModule& m) {
    std::vector<pe::ImportSlot> slots;
    std::string error;
    if (!pe::WalkImports(m.image, m.facts, slots, error))
      result_.notChecked.push_back({pid_, m.name, "its imports could not be read all: " + error});
    const std::size_t width = m.facts.pe32plus ? 8 : 4;
    std::set<std::string> unresolved;
    // The slots lie in a few tables close together: one read of their whole range saves a
    // call per slot, which costs a round trip to the system for another process (and under
    // Wine for the own one too). A range that cannot be read whole is read slot by slot.
    std::uint32_t lo = std::numeric_limits<std::uint32_t>::max(), hi = 0;
    for (const auto& s : slots) {
      lo = std::min(lo, s.slotRva);
      hi = std::max(hi, static_cast<std::uint32_t>(s.slotRva + width));
    }
    std::vector<std::byte> table;
    if (lo < hi && hi - lo <= kChunk * 16) {
      table.assign(hi - lo, std::byte{0});
      if (!ReadMemory(m.base + lo, table)) table.clear();
    }
    for (const auto& s : slots) {
      std::byte raw[8] = {};
      const std::string fn = s.function.empty() ? "#" + std::to_string(s.ordinal) : s.function;
      if (!table.empty()) {
        std::memcpy(raw, table.data() + (s.slotRva - lo), width);
      } else if (!ReadMemory(m.base + s.slotRva, std::span(raw, width))) {
        result_.notChecked.push_back(
            {pid_, m.name, "the import slot of " + s.dll + "!" + fn + " could not be read from memory"});
        continue;
      }
      std::uint64_t value = 0;
      std::memcpy(&value, raw, width);
      std::set<const LoadedModule*> expected;
      Exporters(s.dll, s.function, s.ordinal, 0, expected);
      if (expected.empty()) {
        unresolved.insert(s.dll + "!" + fn);
        continue;
      }
      if (std::any_of(expected.begin(), expected.end(),
                      [&](const LoadedModule* e) { return e->Holds(value); }))
        continue;
      HookFinding f;
      f.pid = pid_;
      f.processName = processName_;
      f.module = m.name;
      f.kind = HookKind::ImportRedirected;
      f.address = m.base + s.slotRva;
      f.size = static_cast<std::uint32_t>(width);
      f.function = fn;
      f.importedFrom = Lower(s.dll) + "!" + fn;
      f.target = value;
      if (ModuleAt(value) == nullptr) {
        const std::uint64_t relayed = Follow(value, m.facts.pe32plus);
        if (relayed != 0) f.target = relayed;
      }
      NameTarget(f);
      result_.hooks.push_back(std::move(f));
    }
    if (!unresolved.empty()) {
      std::string list;
      for (const auto& u : unresolved) list += (list.empty() ? "" : ", ") + u;
      result_.notChecked.push_back(
          {pid_, m.name, "imports whose exporter is not loaded were not checked: " + list});
    }
  }

  std::uint32_t pid_;
  platform::Handle process_;
  HookScanResult& result_;
};

}  // namespace

HookScanResult ScanProcessHooks(std::uint32_t pid) { return ScanProcessHooks(pid, HookScanOptions{}); }

HookScanResult ScanProcessHooks(std::uint32_t pid, const HookScanOptions& options) {
  HookScanResult result;
  auto& k32 = platform::Current().kernel32;
  const platform::KernelHandle process(
      k32.OpenProcess(platform::PROCESS_QUERY_INFORMATION | platform::PROCESS_VM_READ, false, pid));
  if (!process) {
    result.notChecked.push_back({pid, {}, ErrorReason("cannot open the process", k32.GetLastError())});
    return result;
  }
  TModuleListTH32Simple list;
  if (!list.TakeSnapshot(pid)) {
    result.notChecked.push_back(
        {pid, {}, ErrorReason("cannot list the process's modules", k32.GetLastError())});
    return result;
  }
  if (list.Count() == 0) {
    result.notChecked.push_back({pid, {}, "the module snapshot of the process is empty"});
    return result;
  }
  ProcessScan scan(pid, process.get(), result);
  for (std::size_t i = 0; i < list.Count(); ++i) {
    rec::ModuleEntry32 e{};
    list.GetItem(i, e);
    LoadedModule m;
    m.name = k32.MultiByteToWideChar(platform::CP_ACP,
                                     std::string_view(e.szModule, strnlen(e.szModule, sizeof e.szModule)));
    m.path = k32.MultiByteToWideChar(platform::CP_ACP,
                                     std::string_view(e.szExePath, strnlen(e.szExePath, sizeof e.szExePath)));
    m.key = Lower(m.name);
    m.base = e.modBaseAddr;
    m.size = e.modBaseSize;
    scan.modules_.push_back(std::move(m));
  }
  scan.processName_ = scan.modules_.front().name;
  scan.Run(options);
  result.checkedPids.push_back(pid);
  return result;
}

}  // namespace processes
