// The registry and process sections of a system image.
#include "platform/sim/image_sections.h"

#include <limits>

#include "base/utf.h"
#include "platform/sim/image_values.h"
#include "platform/sim/module_images.h"

namespace sim::image {

namespace {

constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();

void AppendUtf16(std::vector<std::uint8_t>& out, std::u16string_view text) {
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
}

std::u16string FileNameOf(std::u16string_view path) {
  const std::size_t slash = path.rfind(u'\\');
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// A Win32 path in drive form must lie on a volume: its device form is derived from it.
void CheckDrive(Machine& m, const std::u16string& path, const std::string& at) {
  if (path.size() >= 2 && path[1] == u':' && m.FindVolume(path[0]) == nullptr)
    throw PathError(at, "no volume for drive " + base::Utf16ToUtf8(path.substr(0, 2)));
}

void LoadValue(RegKey& key, const Json& v, const std::string& at) {
  const Fields f(v, at, {"name", "type", "data", "dataHex", "hidden", "win32Name"});
  RegValue value;
  value.name = Text(f.Required("name"), f.PathOf("name"));
  if (key.FindValue(value.name) != nullptr)
    throw PathError(f.PathOf("name"), "duplicate value " + Shown(value.name));
  value.type = static_cast<std::uint32_t>(Unsigned(f.Required("type"), f.PathOf("type"), kMaxU32));
  const Json* data = f.Find("data");
  const Json* hex = f.Find("dataHex");
  if (data && hex) throw PathError(f.PathOf("dataHex"), "give data or dataHex, not both");
  if (hex) value.data = HexBytes(*hex, f.PathOf("dataHex"));
  if (data) {
    const std::string dataAt = f.PathOf("data");
    const std::string type = "a value of type " + std::to_string(value.type);
    switch (value.type) {
      case 1:  // REG_SZ
      case 2:  // REG_EXPAND_SZ
        if (!data->is_string()) throw PathError(dataAt, type + " takes text as data, got " + Describe(*data));
        AppendUtf16(value.data, Text(*data, dataAt));
        break;
      case 7: {  // REG_MULTI_SZ: one string per line, the list ends with an empty string
        if (!data->is_string()) throw PathError(dataAt, type + " takes text as data, got " + Describe(*data));
        const std::u16string text = Text(*data, dataAt);
        for (std::size_t start = 0; !text.empty() && start <= text.size();) {
          std::size_t end = text.find(u'\n', start);
          if (end == std::u16string::npos) end = text.size();
          AppendUtf16(value.data, std::u16string_view(text).substr(start, end - start));
          start = end + 1;
        }
        value.data.push_back(0);
        value.data.push_back(0);
        break;
      }
      case 4:     // REG_DWORD
      case 5:     // REG_DWORD_BIG_ENDIAN
      case 11: {  // REG_QWORD
        if (!data->is_number() && !data->is_string())
          throw PathError(dataAt, type + " takes a number as data, got " + Describe(*data));
        const int bytes = value.type == 11 ? 8 : 4;
        const std::uint64_t n =
            Unsigned(*data, dataAt, bytes == 8 ? std::numeric_limits<std::uint64_t>::max() : kMaxU32);
        for (int i = 0; i < bytes; ++i) {
          const int shift = value.type == 5 ? (bytes - 1 - i) * 8 : i * 8;
          value.data.push_back(static_cast<std::uint8_t>(n >> shift));
        }
        break;
      }
      default:
        throw PathError(dataAt, type + " takes its data as dataHex");
    }
  }
  value.hidden = f.Flag("hidden", false);
  value.win32Name = Win32Name(f.Find("win32Name"), f.PathOf("win32Name"), value.name);
  key.values.push_back(std::move(value));
}

}  // namespace

void LoadKey(MachineBuilder& b, const Json& v, const std::string& at, std::set<std::u16string>& listed) {
  const Fields f(v, at, {"key", "sddl", "hidden", "win32Name", "fail", "values"});
  const std::string keyAt = f.PathOf("key");
  std::u16string key = Text(f.Required("key"), keyAt);
  // Both short forms of HKEY_USERS are in use ("HKU" by tools, "HKUS" by the hive-name table).
  const std::size_t slash = key.find(u'\\');
  if (Upcase(key.substr(0, slash)) == u"HKUS") key = u"HKEY_USERS" + key.substr(std::min(slash, key.size()));
  const auto native = NativeKeyPath(key, b.machine().system.userSid);
  if (!native)
    throw PathError(keyAt,
                    "unknown root key in " + Shown(key) +
                        " (expected HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, "
                        "HKEY_CURRENT_CONFIG or a short form)");
  if (native->find(u"\\\\") != std::u16string::npos)
    throw PathError(keyAt, "empty key name in " + Shown(key));
  if (!listed.insert(Upcase(*native)).second) throw PathError(keyAt, "duplicate key " + Shown(key));
  RegKey& k = b.Key(key);
  if (const Json* sddl = f.Find("sddl")) k.sddl = Utf8Text(*sddl, f.PathOf("sddl"));
  k.hidden = f.Flag("hidden", false);
  k.win32Name = Win32Name(f.Find("win32Name"), f.PathOf("win32Name"), k.name);
  if (const Json* fail = f.Find("fail")) {
    ExpectArray(*fail, f.PathOf("fail"));
    for (std::size_t i = 0; i < fail->size(); ++i) {
      const std::string itemAt = ElementPath(f.PathOf("fail"), i);
      const std::string name = Utf8Text((*fail)[i], itemAt);
      if (name == "win32Open")
        k.fail.win32Open = true;
      else if (name == "nativeOpen")
        k.fail.nativeOpen = true;
      else if (name == "security")
        k.fail.security = true;
      else if (name == "win32List")
        k.fail.win32List = true;
      else
        throw PathError(
            itemAt, "unknown failure \"" + name + "\" (known: win32Open, nativeOpen, security, win32List)");
    }
  }
  if (const Json* values = f.Find("values")) {
    ExpectArray(*values, f.PathOf("values"));
    for (std::size_t i = 0; i < values->size(); ++i)
      LoadValue(k, (*values)[i], ElementPath(f.PathOf("values"), i));
  }
}

namespace {

// A module's `patches` (bytes over its code) and `importPatches` (import slots redirected).
void LoadPatches(Module& mod, const Fields& mf) {
  if (const Json* patches = mf.Find("patches")) {
    ExpectArray(*patches, mf.PathOf("patches"));
    for (std::size_t i = 0; i < patches->size(); ++i) {
      const Fields pf((*patches)[i], ElementPath(mf.PathOf("patches"), i),
                      {"rva", "export", "offset", "hex", "bytesBase64"});
      ModulePatch patch;
      const bool byRva = pf.Find("rva") != nullptr, byExport = pf.Find("export") != nullptr;
      if (byRva == byExport) throw PathError(pf.path(), "a patch needs either \"rva\" or \"export\"");
      if (byRva) patch.rva = pf.U32("rva", 0);
      if (byExport) {
        patch.exportName = Utf8Text(pf.Required("export"), pf.PathOf("export"));
        patch.rva = pf.U32("offset", 0);
      } else if (pf.Find("offset") != nullptr) {
        throw PathError(pf.PathOf("offset"), "an offset goes with \"export\" only");
      }
      const bool hex = pf.Find("hex") != nullptr, b64 = pf.Find("bytesBase64") != nullptr;
      if (hex == b64) throw PathError(pf.path(), "a patch needs either \"hex\" or \"bytesBase64\"");
      if (hex) {
        const auto bytes = HexBytes(pf.Required("hex"), pf.PathOf("hex"));
        patch.bytes.assign(bytes.begin(), bytes.end());
      } else {
        patch.bytes = Base64(pf.Required("bytesBase64"), pf.PathOf("bytesBase64"));
      }
      if (patch.bytes.empty()) throw PathError(pf.path(), "a patch needs at least one byte");
      mod.patches.push_back(std::move(patch));
    }
  }
  if (const Json* imports = mf.Find("importPatches")) {
    ExpectArray(*imports, mf.PathOf("importPatches"));
    for (std::size_t i = 0; i < imports->size(); ++i) {
      const Fields pf((*imports)[i], ElementPath(mf.PathOf("importPatches"), i),
                      {"dll", "function", "target"});
      ImportPatch patch;
      patch.dll = Utf8Text(pf.Required("dll"), pf.PathOf("dll"));
      patch.function = Utf8Text(pf.Required("function"), pf.PathOf("function"));
      patch.target =
          Unsigned(pf.Required("target"), pf.PathOf("target"), std::numeric_limits<std::uint64_t>::max());
      mod.importPatches.push_back(std::move(patch));
    }
  }
}

}  // namespace

void LoadProcess(MachineBuilder& b, const Json& v, const std::string& at) {
  const Fields f(v, at,
                 {"pid", "parentPid", "exeFile", "imagePath", "hidden", "openable", "debugged", "sessionId",
                  "threads", "handles", "modules", "heaps", "memory"});
  const auto pid = static_cast<std::uint32_t>(Unsigned(f.Required("pid"), f.PathOf("pid"), kMaxU32));
  for (const auto& other : b.machine().processes)
    if (other.pid == pid) throw PathError(f.PathOf("pid"), "duplicate pid " + std::to_string(pid));
  const std::u16string imagePath = f.Text("imagePath", u"");
  CheckDrive(b.machine(), imagePath, f.PathOf("imagePath"));
  sim::Process& p = b.AddProcess(pid, f.Text("exeFile", FileNameOf(imagePath)), imagePath);
  p.parentPid = f.U32("parentPid", 0);
  p.hidden = f.Flag("hidden", false);
  p.openable = f.Flag("openable", true);
  p.debugged = f.Flag("debugged", false);
  p.sessionId = f.U32("sessionId", 0);

  if (const Json* threads = f.Find("threads")) {
    ExpectArray(*threads, f.PathOf("threads"));
    p.threads.clear();  // instead of the one the builder gives every process
    for (std::size_t i = 0; i < threads->size(); ++i) {
      const Fields t((*threads)[i], ElementPath(f.PathOf("threads"), i),
                     {"tid", "basePriority", "deltaPriority", "usage", "flags"});
      Thread th;
      th.tid = static_cast<std::uint32_t>(Unsigned(t.Required("tid"), t.PathOf("tid"), kMaxU32));
      th.basePriority = t.I32("basePriority", th.basePriority);
      th.deltaPriority = t.I32("deltaPriority", th.deltaPriority);
      th.usage = t.U32("usage", 0);
      th.flags = t.U32("flags", 0);
      p.threads.push_back(th);
    }
  }
  if (const Json* handles = f.Find("handles")) {
    ExpectArray(*handles, f.PathOf("handles"));
    for (std::size_t i = 0; i < handles->size(); ++i) {
      const Fields h((*handles)[i], ElementPath(f.PathOf("handles"), i),
                     {"value", "typeNumber", "access", "object", "name", "blocks"});
      HandleEntry e;
      e.value = static_cast<std::uint32_t>(Unsigned(h.Required("value"), h.PathOf("value"), kMaxU32));
      for (const auto& other : p.handles)
        if (other.value == e.value)
          throw PathError(h.PathOf("value"), "duplicate handle " + Hex(e.value) + " in this process");
      e.typeNumber = h.U32("typeNumber", 0);
      e.access = h.U32("access", 0);
      e.object = h.U64("object", 0);
      e.name = h.Text("name", u"");
      e.blocks = h.Flag("blocks", false);
      p.handles.push_back(std::move(e));
    }
  }
  if (const Json* modules = f.Find("modules")) {
    ExpectArray(*modules, f.PathOf("modules"));
    for (std::size_t i = 0; i < modules->size(); ++i) {
      const Fields mf(
          (*modules)[i], ElementPath(f.PathOf("modules"), i),
          {"name", "path", "base", "size", "id", "globalUsage", "processUsage", "patches", "importPatches"});
      Module mod;
      mod.path = Text(mf.Required("path"), mf.PathOf("path"));
      CheckDrive(b.machine(), mod.path, mf.PathOf("path"));
      mod.name = mf.Text("name", FileNameOf(mod.path));
      mod.base = mf.U64("base", 0);
      mod.size = mf.U32("size", 0);
      mod.id = mf.U32("id", 1);
      mod.globalUsage = mf.U32("globalUsage", 0xFFFF);
      mod.processUsage = mf.U32("processUsage", 0xFFFF);
      LoadPatches(mod, mf);
      p.modules.push_back(std::move(mod));
    }
  } else if (!imagePath.empty()) {
    // An executable's usual load address; NT reports module ID 1 and usage 0xFFFF for it.
    p.modules.push_back(Module{FileNameOf(imagePath), imagePath, 0x400000, 0x10000, 1, 0xFFFF, 0xFFFF});
  }
  if (const Json* heaps = f.Find("heaps")) {
    ExpectArray(*heaps, f.PathOf("heaps"));
    for (std::size_t i = 0; i < heaps->size(); ++i) {
      const Fields hf((*heaps)[i], ElementPath(f.PathOf("heaps"), i), {"id", "flags"});
      p.heaps.push_back(
          Heap{Unsigned(hf.Required("id"), hf.PathOf("id"), std::numeric_limits<std::uint64_t>::max()),
               hf.U32("flags", 0)});
    }
  }
  if (const Json* memory = f.Find("memory")) {
    ExpectArray(*memory, f.PathOf("memory"));
    for (std::size_t i = 0; i < memory->size(); ++i) {
      const Fields mf((*memory)[i], ElementPath(f.PathOf("memory"), i), {"base", "contentBase64"});
      MemoryRegion r;
      r.base = Unsigned(mf.Required("base"), mf.PathOf("base"), std::numeric_limits<std::uint64_t>::max());
      r.content = Base64(mf.Required("contentBase64"), mf.PathOf("contentBase64"));
      if (r.content.empty()) throw PathError(mf.PathOf("contentBase64"), "a memory region needs content");
      if (r.content.size() > std::numeric_limits<std::uint64_t>::max() - r.base)
        throw PathError(mf.PathOf("contentBase64"), "the region runs past the end of the address space");
      for (std::size_t k = 0; k < p.memory.size(); ++k) {
        const MemoryRegion& o = p.memory[k];
        if (r.base < o.base + o.content.size() && o.base < r.base + r.content.size())
          throw PathError(mf.PathOf("base"), "the region overlaps " + ElementPath(f.PathOf("memory"), k));
      }
      p.memory.push_back(std::move(r));
    }
  }
  try {
    MapModuleImages(b.machine(), p);
  } catch (const ModuleImageError& e) {
    throw PathError(ElementPath(f.PathOf("modules"), e.module()), e.what());
  }
}

}  // namespace sim::image
