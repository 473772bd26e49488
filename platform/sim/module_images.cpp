// The simulated loader: module files laid out in memory, relocated, imports bound, patches applied.
#include "platform/sim/module_images.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

#include "platform/pe_walks.h"
#include "platform/record_io.h"

namespace sim {
namespace {

namespace pe = platform::pe;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (auto& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string Narrow(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

struct Mapped {
  std::size_t index = 0;
  pe::LayoutFacts facts;
  std::vector<std::byte> image;
  std::vector<pe::ExportEntry> exports;
  std::string key;  // the module name in lower case
};

std::span<const std::byte> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::byte*>(s.data()), s.size()};
}

// The address `function` of `dll` has in the process (forwarders followed), if it is loaded.
std::optional<std::uint64_t> Resolve(const std::vector<Mapped>& mapped, const Process& p, std::string dll,
                                     const std::string& function, std::uint32_t ordinal, int depth = 0) {
  if (depth > 4) return std::nullopt;
  dll = Lower(dll);
  for (const auto& m : mapped) {
    if (m.key != dll && m.key != dll + ".dll") continue;
    for (const auto& e : m.exports) {
      if (function.empty() ? e.ordinal != ordinal : e.name != function) continue;
      if (e.forwarder.empty()) return p.modules[m.index].base + e.rva;
      const auto dot = e.forwarder.find('.');
      if (dot == std::string::npos) return std::nullopt;
      const std::string name = e.forwarder.substr(dot + 1);
      if (!name.empty() && name[0] == '#')
        return Resolve(mapped, p, e.forwarder.substr(0, dot), {},
                       static_cast<std::uint32_t>(std::strtoul(name.c_str() + 1, nullptr, 10)), depth + 1);
      return Resolve(mapped, p, e.forwarder.substr(0, dot), name, 0, depth + 1);
    }
  }
  return std::nullopt;
}

}  // namespace

void MapModuleImages(Machine& machine, Process& p) {
  std::vector<Mapped> mapped;
  for (std::size_t i = 0; i < p.modules.size(); ++i) {
    Module& mod = p.modules[i];
    const bool patched = !mod.patches.empty() || !mod.importPatches.empty();
    const bool taken = std::any_of(p.memory.begin(), p.memory.end(),
                                   [&](const MemoryRegion& r) { return r.base == mod.base; });
    if (taken) {
      if (patched) throw ModuleImageError(i, "the module has patches but its memory is given as a region");
      continue;
    }
    const FileNode* file = machine.FindFile(mod.path);
    std::string error;
    Mapped m;
    m.index = i;
    m.key = Lower(Narrow(mod.name));
    if (file == nullptr || file->folder) {
      error = "its file does not exist";
    } else if (pe::ReadLayoutFacts(Bytes(file->content), m.facts, error) &&
               pe::LayOutImage(Bytes(file->content), m.facts, m.image, error) &&
               pe::RelocateImage(m.image, m.facts, mod.base, error)) {
      if (!pe::WalkExports(m.image, m.facts, m.exports, error)) m.exports.clear();
      error.clear();
    }
    if (!error.empty() || m.image.empty()) {
      if (patched) throw ModuleImageError(i, "the module has patches but cannot be mapped: " + error);
      continue;
    }
    const std::uint64_t end = mod.base + m.image.size();
    for (const auto& r : p.memory)
      if (mod.base < r.base + r.content.size() && r.base < end)
        throw ModuleImageError(i,
                               "the module's image overlaps the memory region at " + std::to_string(r.base));
    mapped.push_back(std::move(m));
  }

  for (auto& m : mapped) {
    Module& mod = p.modules[m.index];
    platform::records::RecordWriter w(m.image);
    const std::size_t width = m.facts.pe32plus ? 8 : 4;
    const auto put = [&](std::uint32_t rva, std::uint64_t v) {
      return width == 8 ? w.Put<std::uint64_t>(rva, v)
                        : w.Put<std::uint32_t>(rva, static_cast<std::uint32_t>(v));
    };
    std::vector<pe::ImportSlot> slots;
    std::string error;
    pe::WalkImports(m.image, m.facts, slots, error);
    // Bound as the loader binds them; an import from a module the process lacks keeps the file's value.
    for (const auto& s : slots)
      if (const auto address = Resolve(mapped, p, s.dll, s.function, s.ordinal)) put(s.slotRva, *address);
    for (const auto& ip : mod.importPatches) {
      bool found = false;
      for (const auto& s : slots)
        if (Lower(s.dll) == Lower(ip.dll) && s.function == ip.function)
          found = put(s.slotRva, ip.target) || found;
      if (!found) throw ModuleImageError(m.index, "the module imports no " + ip.function + " from " + ip.dll);
    }
    for (const auto& patch : mod.patches) {
      std::uint32_t rva = patch.rva;
      if (!patch.exportName.empty()) {
        const auto e = std::find_if(m.exports.begin(), m.exports.end(),
                                    [&](const pe::ExportEntry& x) { return x.name == patch.exportName; });
        if (e == m.exports.end() || !e->forwarder.empty())
          throw ModuleImageError(m.index, "the module exports no code named " + patch.exportName);
        rva += e->rva;
      }
      if (patch.bytes.empty() || rva > m.image.size() || patch.bytes.size() > m.image.size() - rva)
        throw ModuleImageError(m.index, "a patch lies outside the module's image");
      std::memcpy(m.image.data() + rva, patch.bytes.data(), patch.bytes.size());
    }
    if (mod.size == 0) mod.size = static_cast<std::uint32_t>(m.image.size());
    MemoryRegion region;
    region.base = mod.base;
    region.content.assign(reinterpret_cast<const char*>(m.image.data()), m.image.size());
    p.memory.push_back(std::move(region));
  }
}

}  // namespace sim
