// The removal script's three dialects over the rows of both scans.
#include "archive/removal_script.h"

#include <stdexcept>

#include "base/md5.h"
#include "base/reserved_names.h"
#include "base/utf.h"
#include "platform/platform.h"
#include "registry/win32_registry.h"
#include "results/digests.h"

namespace archive {
namespace {

constexpr char16_t kQ = u'"';

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string Quoted(std::u16string_view text) {
  std::u16string q(1, kQ);
  q += text;
  q += kQ;
  return q;
}

// One entry: "name=value", and where the last name begins in it when the row says so.
struct Entry {
  std::u16string text;
  std::size_t lastName = std::u16string::npos;
};

// The four lists of one script, entries in the order they came.
struct Entries {
  std::vector<Entry> files, folders, keys, values;

  void Add(TScriptList list, Entry entry) {
    switch (list) {
      case TScriptList::Files:
        files.push_back(std::move(entry));
        break;
      case TScriptList::Folders:
        folders.push_back(std::move(entry));
        break;
      case TScriptList::Keys:
        keys.push_back(std::move(entry));
        break;
      case TScriptList::Values:
        values.push_back(std::move(entry));
        break;
      case TScriptList::None:
        break;  // processes: nothing a script could remove by name
    }
  }
};

const char16_t* QuickValue(TScriptList list) {
  switch (list) {
    case TScriptList::Files:
      return u"Hidden file";
    case TScriptList::Folders:
      return u"Hidden directory";
    case TScriptList::Keys:
      return u"Hidden key";
    case TScriptList::Values:
      return u"Hidden value";
    case TScriptList::None:
      break;
  }
  return u"";
}

// An entry cut at its last "=": the finding texts never hold one, names may.
void SplitEntry(std::u16string_view entry, std::u16string& name, std::u16string& value) {
  const auto eq = entry.rfind(u'=');
  if (eq == std::u16string_view::npos) {
    name.assign(entry);
    value.clear();
    return;
  }
  name.assign(entry.substr(0, eq));
  value.assign(entry.substr(eq + 1));
}

// A registry name as root name, key path (with its trailing "\") and last name. A value name
// may hold a "\" itself: where the row knows where its last name begins (`lastName`), that cut
// is kept rather than the last "\". A name whose root is not a hive keeps its own text in the
// three fields (before the first "\", up to the last "\", the rest), so nothing of it is lost
// and no tool mistakes it for a real hive.
struct RegistryName {
  std::u16string root, path, last;
};
RegistryName SplitRegistryName(std::u16string_view name, std::size_t lastName) {
  RegistryName r;
  platform::HKEY root = 0;
  if (lastName <= name.size() && lastName > 0 && name[lastName - 1] == u'\\' &&
      registry::SplitKeyText(name.substr(0, lastName), root, r.path)) {
    r.root = Widen(registry::RootKeyName(root));
    r.last.assign(name.substr(lastName));
    return r;
  }
  if (registry::SplitValueText(name, root, r.path, r.last)) {
    r.root = Widen(registry::RootKeyName(root));
    return r;
  }
  const auto first = name.find(u'\\');
  if (first == std::u16string_view::npos) {
    r.last.assign(name);
    return r;
  }
  const auto last = name.rfind(u'\\');
  r.root.assign(name.substr(0, first));
  r.path.assign(name.substr(first, last + 1 - first));
  r.last.assign(name.substr(last + 1));
  return r;
}

// The size and digest part of a file line: "filesize=N,md5=HEX", either half left out when
// it says nothing (an empty, missing or unreadable file), empty when the file cannot be named.
std::u16string MeasureFile(std::u16string_view name) {
  // The measuring functions take 8-bit names, which cannot hold a zero character and must
  // not stand for another file: a name that does not come back whole from the code page is
  // not measured rather than measuring a different file.
  if (name.find(u'\0') != std::u16string_view::npos) return {};
  // A reserved last name (lpt1, con.txt) stands for a device in the Win32 functions: measuring
  // it would open the device, not the file.
  const auto slash = name.find_last_of(u"\\/");
  if (base::IsReservedDeviceName(slash == std::u16string_view::npos ? name : name.substr(slash + 1)))
    return {};
  std::string path;
  try {
    auto& k32 = platform::Current().kernel32;
    path = k32.WideCharToMultiByte(platform::CP_ACP, name);
    if (k32.MultiByteToWideChar(platform::CP_ACP, path) != name) return {};
  } catch (const std::exception&) {
    return {};
  }
  std::string extra;
  try {
    const std::int64_t size = results::FileSize64(path);
    if (size > 0) extra = "filesize=" + std::to_string(size);
  } catch (const std::exception&) {
  }
  try {
    const std::string md5 = results::FileMD5Text(path);
    if (md5 != base::kEmptyMD5) {
      if (!extra.empty()) extra += ",";
      extra += "md5=" + md5;
    }
  } catch (const std::exception&) {
  }
  return Widen(extra);
}

// A line built from an entry. Zero characters are made visible as EscapeZeroChars does; so are
// CR and LF, as "\r" and "\n": a name must never break its line in two, or a hidden entry's
// name could add a line of its own choosing to a script that a removal tool runs.
std::u16string EntryLine(std::u16string_view text) {
  if (text.find_first_of(std::u16string_view(u"\0\r\n", 3)) == std::u16string_view::npos)
    return std::u16string(text);
  std::u16string out;
  out.reserve(text.size() + kZeroCharAttention.size() + 8);
  for (char16_t c : text) {
    if (c == u'\0')
      out += u"\\0";
    else if (c == u'\r')
      out += u"\\r";
    else if (c == u'\n')
      out += u"\\n";
    else
      out += c;
  }
  out += u"\r\n";
  out += kZeroCharAttention;
  return out;
}

}  // namespace

std::string RemovalScriptAdvice() {
  return "Please do not blindly use this script; in case of any doubt, visit " +
         std::string(kSupportForumAddress) + " and ask for assistance.";
}

std::u16string EscapeZeroChars(std::u16string_view text) {
  if (text.find(u'\0') == std::u16string_view::npos) return std::u16string(text);
  std::u16string out;
  out.reserve(text.size() + kZeroCharAttention.size() + 8);
  for (char16_t c : text) {
    if (c == u'\0')
      out += u"\\0";
    else
      out += c;
  }
  out += u"\r\n";
  out += kZeroCharAttention;
  return out;
}

void BuildRemovalScript(std::uint8_t logType, const std::vector<TScriptQuickRow>& quick,
                        const std::vector<TScriptDeepRow>& deep, std::vector<std::u16string>& output) {
  if (logType > kScriptComboFix)
    throw std::invalid_argument("unknown removal script type " + std::to_string(logType));
  output.clear();
  const bool ferrox = logType == kScriptFerrox;
  const bool avenger = logType == kScriptAvenger;
  auto title = [&](const char16_t* avengerTitle, const char16_t* comboFixTitle) {
    if (avenger) output.emplace_back(avengerTitle);
    if (logType == kScriptComboFix && comboFixTitle != nullptr) output.emplace_back(comboFixTitle);
  };
  auto sectionEnd = [&] {
    if (!ferrox) output.emplace_back();
  };

  if (ferrox) {
    output.emplace_back(u"// info: Rootkit removal help file");
    output.emplace_back(kFerroxLegalNoticeLine);
    output.emplace_back();
    output.emplace_back(u":: Umbrascope Results");
  } else if (avenger) {
    output.emplace_back(u"Comment:");
    output.emplace_back(u"File created using Umbrascope to help your get rid of a rootkit.");
    output.emplace_back();
  }

  Entries entries;
  for (const auto& row : quick)
    if (row.List != TScriptList::None) entries.Add(row.List, {row.Text + u"=" + QuickValue(row.List)});
  for (const auto& row : deep)
    entries.Add(row.List, {row.Location + row.Object + u"=" + row.Details, row.Location.size()});

  std::u16string name, value;
  title(u"Files to delete:", u"File::");
  for (const auto& entry : entries.files) {
    SplitEntry(entry.text, name, value);
    if (ferrox) {
      std::u16string extra = MeasureFile(name);
      if (!extra.empty()) extra = u"," + Quoted(extra);
      output.push_back(EntryLine(u"File:" + Quoted(value) + u"," + Quoted(name) + extra));
    } else {
      output.push_back(EntryLine(name));
    }
  }
  sectionEnd();

  title(u"Folders to delete:", u"Folder::");
  for (const auto& entry : entries.folders) {
    SplitEntry(entry.text, name, value);
    output.push_back(EntryLine(ferrox ? u"Directory:" + Quoted(value) + u"," + Quoted(name) : name));
  }
  sectionEnd();

  title(u"Registry keys to delete:", u"Registry::");
  for (const auto& entry : entries.keys) {
    SplitEntry(entry.text, name, value);
    if (ferrox) {
      const RegistryName r = SplitRegistryName(name, entry.lastName);
      output.push_back(EntryLine(u"RegyKey:" + Quoted(value) + u"," + Quoted(r.root) + u"," + Quoted(r.path) +
                                 u"," + Quoted(r.last)));
    } else {
      output.push_back(EntryLine(avenger ? name : u"[-" + name + u"]"));
    }
  }
  sectionEnd();

  // ComboFix lists the values under the keys' title.
  title(u"Registry values to delete:", nullptr);
  for (const auto& entry : entries.values) {
    SplitEntry(entry.text, name, value);
    if (avenger) {
      output.push_back(EntryLine(name));
      continue;
    }
    const RegistryName r = SplitRegistryName(name, entry.lastName);
    if (ferrox) {
      output.push_back(EntryLine(u"RegyValue:" + Quoted(value) + u"," + Quoted(r.root) + u"," +
                                 Quoted(r.path) + u"," + Quoted(r.last)));
    } else {
      output.push_back(EntryLine(u"[" + r.root + r.path + u"]"));
      output.push_back(EntryLine(Quoted(r.last) + u"=-"));
    }
  }
  sectionEnd();
}

bool ScriptTypeFromName(std::string_view name, std::uint8_t& logType) {
  if (name == "ferrox")
    logType = kScriptFerrox;
  else if (name == "avenger")
    logType = kScriptAvenger;
  else if (name == "combofix")
    logType = kScriptComboFix;
  else
    return false;
  return true;
}

std::string RemovalScriptText(const std::vector<std::u16string>& lines, std::string_view lineEnd) {
  std::string text;
  for (const auto& line : lines) {
    const std::string utf8 = base::Utf16ToUtf8(line);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
      if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
        text += lineEnd;
        ++i;
      } else {
        text += utf8[i];
      }
    }
    text += lineEnd;
  }
  return text;
}

}  // namespace archive
