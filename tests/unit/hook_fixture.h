// Test helper: tiny PE32+ modules (exports, imports, forwarders, relocations) and a simulated
// process that loads them, for the hook scan.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/builder.h"
#include "platform/sim/module_images.h"

namespace testing_support {

// Layout: headers (0x400 bytes), .text at RVA 0x1000 (one 0x20-byte slot per export, each
// `mov rax, <preferred base + 0x2000>; ret`, the immediate relocated), .rdata at 0x2000 (export
// directory at its start, imports from 0x400), .reloc at 0x3000. File offsets: .text 0x400,
// .rdata 0x600, .reloc 0xE00.
struct TinyModule {
  std::string name;
  std::uint64_t preferred = 0x180000000;
  std::vector<std::string> exports;                           // code exports, in slot order
  std::vector<std::pair<std::string, std::string>> forwards;  // export name -> "dll.function"
  std::vector<std::pair<std::string, std::string>> imports;   // dll, function
  bool dll = true;
};

inline constexpr std::uint32_t kText = 0x1000, kRdata = 0x2000, kReloc = 0x3000;
inline constexpr std::size_t kRelocFileOffset = 0xE00;
// Where the relocation directory's size lies in the file's optional header.
inline constexpr std::size_t kRelocDirSizeOffset = 0x80 + 24 + 112 + 8 * 5 + 4;

namespace detail {
template <typename T>
void Put(std::string& s, std::size_t at, T v) {
  if (s.size() < at + sizeof v) s.resize(at + sizeof v, '\0');
  std::memcpy(s.data() + at, &v, sizeof v);
}
inline void Text(std::string& s, std::size_t at, const std::string& t) {
  if (s.size() < at + t.size() + 1) s.resize(at + t.size() + 1, '\0');
  std::memcpy(s.data() + at, t.data(), t.size());
  s[at + t.size()] = '\0';
}
}  // namespace detail

inline std::string BuildTinyPe(const TinyModule& m) {
  using detail::Put;
  using detail::Text;
  std::string text;
  std::vector<std::uint32_t> relocs;
  const std::size_t functions = m.exports.empty() ? 1 : m.exports.size();
  for (std::size_t i = 0; i < functions; ++i) {
    const std::size_t at = 0x20 * i;
    text.resize(at + 0x20, '\xCC');
    text[at] = '\x48';
    text[at + 1] = '\xB8';
    Put<std::uint64_t>(text, at + 2, m.preferred + kRdata);
    text[at + 10] = '\xC3';
    relocs.push_back(static_cast<std::uint32_t>(kText + at + 2));
  }
  std::string rdata(0x800, '\0');
  std::uint32_t exportVa = 0, exportSize = 0, importVa = 0, importSize = 0, iatVa = 0, iatSize = 0;
  const std::size_t n = m.exports.size() + m.forwards.size();
  if (n != 0) {
    const std::size_t funcs = 0x40, names = funcs + 4 * n, ords = names + 4 * n;
    std::size_t strings = ords + 2 * n;
    const std::size_t dllName = strings;
    Text(rdata, strings, m.name);
    strings += m.name.size() + 1;
    for (std::size_t i = 0; i < n; ++i) {
      const bool code = i < m.exports.size();
      const std::string& name = code ? m.exports[i] : m.forwards[i - m.exports.size()].first;
      if (code) {
        Put<std::uint32_t>(rdata, funcs + 4 * i, static_cast<std::uint32_t>(kText + 0x20 * i));
      } else {
        Put<std::uint32_t>(rdata, funcs + 4 * i, static_cast<std::uint32_t>(kRdata + strings));
        Text(rdata, strings, m.forwards[i - m.exports.size()].second);
        strings += m.forwards[i - m.exports.size()].second.size() + 1;
      }
      Put<std::uint16_t>(rdata, ords + 2 * i, static_cast<std::uint16_t>(i));
      Put<std::uint32_t>(rdata, names + 4 * i, static_cast<std::uint32_t>(kRdata + strings));
      Text(rdata, strings, name);
      strings += name.size() + 1;
    }
    Put<std::uint32_t>(rdata, 12, static_cast<std::uint32_t>(kRdata + dllName));
    Put<std::uint32_t>(rdata, 16, 1);
    Put<std::uint32_t>(rdata, 20, static_cast<std::uint32_t>(n));
    Put<std::uint32_t>(rdata, 24, static_cast<std::uint32_t>(n));
    Put<std::uint32_t>(rdata, 28, static_cast<std::uint32_t>(kRdata + funcs));
    Put<std::uint32_t>(rdata, 32, static_cast<std::uint32_t>(kRdata + names));
    Put<std::uint32_t>(rdata, 36, static_cast<std::uint32_t>(kRdata + ords));
    exportVa = kRdata;
    exportSize = static_cast<std::uint32_t>(strings);
  }
  if (!m.imports.empty()) {
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;
    for (const auto& [d, f] : m.imports) {
      if (groups.empty() || groups.back().first != d) groups.push_back({d, {}});
      groups.back().second.push_back(f);
    }
    std::size_t at = 0x400;
    const std::size_t desc = at;
    at += 20 * (groups.size() + 1);
    const std::size_t iatStart = at;
    std::vector<std::size_t> iats, ilts;
    for (const auto& g : groups) {
      iats.push_back(at);
      at += 8 * (g.second.size() + 1);
    }
    const std::size_t iatEnd = at;
    for (const auto& g : groups) {
      ilts.push_back(at);
      at += 8 * (g.second.size() + 1);
    }
    for (std::size_t i = 0; i < groups.size(); ++i) {
      const std::size_t dname = at;
      Text(rdata, at, groups[i].first);
      at += groups[i].first.size() + 1;
      for (std::size_t k = 0; k < groups[i].second.size(); ++k) {
        const std::size_t hint = at;
        Text(rdata, at + 2, groups[i].second[k]);
        at += 2 + groups[i].second[k].size() + 1;
        at += at & 1;
        Put<std::uint64_t>(rdata, iats[i] + 8 * k, kRdata + hint);
        Put<std::uint64_t>(rdata, ilts[i] + 8 * k, kRdata + hint);
      }
      const std::size_t d = desc + 20 * i;
      Put<std::uint32_t>(rdata, d, static_cast<std::uint32_t>(kRdata + ilts[i]));
      Put<std::uint32_t>(rdata, d + 12, static_cast<std::uint32_t>(kRdata + dname));
      Put<std::uint32_t>(rdata, d + 16, static_cast<std::uint32_t>(kRdata + iats[i]));
    }
    importVa = static_cast<std::uint32_t>(kRdata + desc);
    importSize = static_cast<std::uint32_t>(20 * (groups.size() + 1));
    iatVa = static_cast<std::uint32_t>(kRdata + iatStart);
    iatSize = static_cast<std::uint32_t>(iatEnd - iatStart);
  }
  rdata.resize(0x800, '\0');
  std::string reloc;
  Put<std::uint32_t>(reloc, 0, kText);
  const std::size_t entries = relocs.size() + (relocs.size() % 2);
  Put<std::uint32_t>(reloc, 4, static_cast<std::uint32_t>(8 + 2 * entries));
  for (std::size_t i = 0; i < relocs.size(); ++i)
    Put<std::uint16_t>(reloc, 8 + 2 * i, static_cast<std::uint16_t>((10u << 12) | (relocs[i] - kText)));
  reloc.resize(8 + 2 * entries, '\0');

  std::string f(0x400, '\0');
  Put<std::uint16_t>(f, 0, 0x5A4D);
  Put<std::int32_t>(f, 60, 0x80);
  Put<std::uint32_t>(f, 0x80, 0x4550);
  Put<std::uint16_t>(f, 0x84, 0x8664);
  Put<std::uint16_t>(f, 0x86, 3);
  Put<std::uint16_t>(f, 0x94, 240);
  Put<std::uint16_t>(f, 0x96, m.dll ? 0x2022 : 0x22);
  const std::size_t o = 0x80 + 24;
  Put<std::uint16_t>(f, o, 0x20B);
  Put<std::uint64_t>(f, o + 24, m.preferred);
  Put<std::uint32_t>(f, o + 32, 0x1000);
  Put<std::uint32_t>(f, o + 36, 0x200);
  Put<std::uint32_t>(f, o + 56, 0x4000);
  Put<std::uint32_t>(f, o + 60, 0x400);
  Put<std::uint32_t>(f, o + 108, 16);
  const std::pair<std::uint32_t, std::uint32_t> dirs[] = {{exportVa, exportSize},
                                                          {importVa, importSize},
                                                          {kReloc, static_cast<std::uint32_t>(reloc.size())},
                                                          {iatVa, iatSize}};
  const std::size_t index[] = {0, 1, 5, 12};
  for (std::size_t i = 0; i < 4; ++i) {
    Put<std::uint32_t>(f, o + 112 + 8 * index[i], dirs[i].first);
    Put<std::uint32_t>(f, o + 116 + 8 * index[i], dirs[i].second);
  }
  struct Sec {
    const char* name;
    std::uint32_t va;
    const std::string* data;
    std::uint32_t characteristics;
  };
  const Sec secs[] = {{".text", kText, &text, 0x60000020},
                      {".rdata", kRdata, &rdata, 0x40000040},
                      {".reloc", kReloc, &reloc, 0x42000040}};
  std::size_t s = o + 240;
  for (const auto& sec : secs) {
    const std::size_t raw = (sec.data->size() + 0x1FF) / 0x200 * 0x200;
    std::memcpy(f.data() + s, sec.name, std::strlen(sec.name));
    Put<std::uint32_t>(f, s + 8, static_cast<std::uint32_t>(sec.data->size()));
    Put<std::uint32_t>(f, s + 12, sec.va);
    Put<std::uint32_t>(f, s + 16, static_cast<std::uint32_t>(raw));
    Put<std::uint32_t>(f, s + 20, static_cast<std::uint32_t>(f.size()));
    Put<std::uint32_t>(f, s + 36, sec.characteristics);
    s += 40;
    f += *sec.data;
    f.resize(f.size() + raw - sec.data->size(), '\0');
  }
  return f;
}

// A module file put on the machine and loaded into `p` at `base`.
inline sim::Module& LoadTiny(sim::MachineBuilder& b, sim::Process& p, const TinyModule& m, std::uint64_t base,
                             const std::string* file = nullptr) {
  const std::u16string path = u"C:\\WINDOWS\\system32\\" + std::u16string(m.name.begin(), m.name.end());
  b.File(path, file ? *file : BuildTinyPe(m));
  p.modules.push_back(
      sim::Module{std::u16string(m.name.begin(), m.name.end()), path, base, 0, 1, 1, 1, {}, {}});
  return p.modules.back();
}

}  // namespace testing_support
