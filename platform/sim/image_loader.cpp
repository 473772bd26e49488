// Loads a simulated machine from a system image: checks every key and builds through the builder.
#include "platform/sim/image_loader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <unordered_map>

#include "base/utf.h"
#include "platform/sim/builder.h"
#include "platform/sim/image_sections.h"
#include "platform/sim/image_values.h"

namespace sim {

namespace {

using image::ElementPath;
using image::ExpectArray;
using image::Fields;
using image::Hex;
using image::Json;
using image::PathError;
using image::Shown;

constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();
// Sizes travel as signed 64-bit numbers (LARGE_INTEGER) in the native records.
constexpr std::uint64_t kMaxSize = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
constexpr std::size_t kMaxNameLength = 255;

bool IsSid(std::string_view s) {
  if (s.substr(0, 4) != "S-1-" || s.size() == 4) return false;
  bool digit = false;
  for (char c : s.substr(4)) {
    if (c == '-') {
      if (!digit) return false;
      digit = false;
    } else if (c >= '0' && c <= '9') {
      digit = true;
    } else {
      return false;
    }
  }
  return digit;
}

// `content` or `contentBase64` of an entry; nothing when neither is given.
std::optional<std::string> Content(const Fields& f) {
  const Json* text = f.Find("content");
  const Json* base64 = f.Find("contentBase64");
  if (text && base64) throw PathError(f.PathOf("contentBase64"), "give content or contentBase64, not both");
  if (text) return image::Utf8Text(*text, f.PathOf("content"));
  if (base64) return image::Base64(*base64, f.PathOf("contentBase64"));
  return std::nullopt;
}

class Loader {
 public:
  Loader() : m_(b_.machine()) {}
  std::unique_ptr<Machine> Run(const Json& doc);

 private:
  void System(const Json* v);
  void ShellFolders(const Json& v, const std::string& at);
  void Accounts(const Json& v);
  void Volumes(const Json* v);
  void File(const Json& v, const std::string& at);
  void CheckFilePath(const std::u16string& path, const std::string& at);
  void Streams(FileNode& node, const Json& v, const std::string& at);
  void FileFailures(FileNode& node, const Json& v, const std::string& at);
  void AssignShortNames();
  void CheckDirectories();

  MachineBuilder b_;
  Machine& m_;
  std::set<std::u16string> filePaths_;  // upper-cased paths listed in `files`
  std::set<std::u16string> keyPaths_;   // upper-cased native paths listed in `registry`
  std::unordered_map<const FileNode*, std::string> givenShortNames_;  // -> JSON path of the name
};

std::unique_ptr<Machine> Loader::Run(const Json& doc) {
  if (!doc.is_object()) throw PathError("", "expected an object at the top, got " + image::Describe(doc));
  // The version first: an image of a later format should be told apart from one with a typo.
  const auto version = doc.find("umbrascopeImage");
  if (version == doc.end())
    throw PathError("umbrascopeImage", "required key is missing (is this a system image?)");
  const std::uint64_t v = image::Unsigned(*version, "umbrascopeImage", kMaxU32);
  if (v != 1)
    throw PathError("umbrascopeImage", "unsupported format version " + std::to_string(v) + " (expected 1)");
  const Fields top(
      doc, "",
      {"umbrascopeImage", "system", "accounts", "volumes", "files", "registry", "processes", "hide"});

  System(top.Find("system"));
  if (const Json* a = top.Find("accounts")) Accounts(*a);
  Volumes(top.Find("volumes"));
  CheckDirectories();

  if (const Json* files = top.Find("files")) {
    ExpectArray(*files, "files");
    for (std::size_t i = 0; i < files->size(); ++i) File((*files)[i], ElementPath("files", i));
  }
  AssignShortNames();

  // The hives every Windows machine has, so HKLM, HKU and HKCU open even in a bare image.
  b_.Key(u"HKEY_LOCAL_MACHINE");
  b_.Key(u"HKEY_CURRENT_USER");
  if (const Json* reg = top.Find("registry")) {
    ExpectArray(*reg, "registry");
    for (std::size_t i = 0; i < reg->size(); ++i)
      image::LoadKey(b_, (*reg)[i], ElementPath("registry", i), keyPaths_);
  }

  if (const Json* procs = top.Find("processes")) {
    ExpectArray(*procs, "processes");
    for (std::size_t i = 0; i < procs->size(); ++i)
      image::LoadProcess(b_, (*procs)[i], ElementPath("processes", i));
  }

  if (const Json* hide = top.Find("hide")) {
    ExpectArray(*hide, "hide");
    for (std::size_t i = 0; i < hide->size(); ++i) b_.Hide(image::Text((*hide)[i], ElementPath("hide", i)));
  }
  return b_.Build();
}

void Loader::System(const Json* v) {
  SystemFacts& s = m_.system;
  if (v == nullptr) {
    s.shellFolders = DefaultShellFolders(s);
    return;
  }
  const Fields f(
      *v, "system",
      {"version", "computerName", "userName", "userSid", "windowsDirectory", "systemDirectory", "tempPath",
       "codePage", "commandLine", "programFile", "wow64", "shellFolders", "localTime", "currentProcessId"});
  if (const Json* ver = f.Find("version")) {
    const std::string at = f.PathOf("version");
    if (!ver->is_array() || ver->size() != 3)
      throw PathError(at, "expected [major, minor, build], got " + image::Describe(*ver));
    s.major = static_cast<std::uint32_t>(image::Unsigned((*ver)[0], ElementPath(at, 0), kMaxU32));
    s.minor = static_cast<std::uint32_t>(image::Unsigned((*ver)[1], ElementPath(at, 1), kMaxU32));
    s.build = static_cast<std::uint32_t>(image::Unsigned((*ver)[2], ElementPath(at, 2), kMaxU32));
  }
  s.computerName = f.Text("computerName", s.computerName);
  s.userName = f.Text("userName", s.userName);
  if (const Json* sid = f.Find("userSid")) {
    s.userSid = image::Utf8Text(*sid, f.PathOf("userSid"));
    if (!IsSid(s.userSid)) throw PathError(f.PathOf("userSid"), "not a SID: \"" + s.userSid + "\"");
  }
  s.windowsDirectory = f.Text("windowsDirectory", s.windowsDirectory);
  s.systemDirectory = f.Text("systemDirectory", s.windowsDirectory + u"\\system32");
  s.tempPath = f.Text("tempPath", s.windowsDirectory + u"\\Temp\\");
  s.codePage = f.U32("codePage", s.codePage);
  // The simulation converts these two; treating any other as one of them would give wrong names.
  if (s.codePage != 1252 && s.codePage != platform::CP_UTF8)
    throw PathError(f.PathOf("codePage"),
                    "code page " + std::to_string(s.codePage) + " is not supported (1252 or 65001)");
  if (const Json* cmd = f.Find("commandLine")) {
    const std::string at = f.PathOf("commandLine");
    ExpectArray(*cmd, at);
    s.commandLine.clear();
    for (std::size_t i = 0; i < cmd->size(); ++i)
      s.commandLine.push_back(image::Text((*cmd)[i], ElementPath(at, i)));
  }
  s.programFile = f.Text("programFile", s.programFile);
  s.wow64 = f.Flag("wow64", s.wow64);
  s.currentProcessId = f.U32("currentProcessId", s.currentProcessId);
  if (const Json* t = f.Find("localTime")) {
    const std::string text = image::Utf8Text(*t, f.PathOf("localTime"));
    s.localTime = ParseLocalTime(text);
    if (!s.localTime)
      throw PathError(f.PathOf("localTime"), "bad time \"" + text + "\" (expected YYYY-MM-DDTHH:MM:SS)");
    b_.SetDefaultTime(ToFileTime(*s.localTime));
  }
  s.shellFolders = DefaultShellFolders(s);
  if (const Json* folders = f.Find("shellFolders")) ShellFolders(*folders, f.PathOf("shellFolders"));
}

// The Windows and System folders are what the Quick Scan lists: they must lie on a volume.
void Loader::CheckDirectories() {
  const auto check = [&](const std::u16string& dir, const char* key) {
    const std::string at = image::MemberPath("system", key);
    const bool drive = dir.size() >= 3 && dir[1] == u':' && dir[2] == u'\\';
    if (!drive) throw PathError(at, "expected a full path such as C:\\WINDOWS, got \"" + Shown(dir) + "\"");
    if (m_.FindVolume(dir[0]) == nullptr)
      throw PathError(
          at, "no volume for drive " + base::Utf16ToUtf8(dir.substr(0, 2)) + " (of " + Shown(dir) + ")");
  };
  check(m_.system.windowsDirectory, "windowsDirectory");
  check(m_.system.systemDirectory, "systemDirectory");
}

// Entries replace the defaults one by one; null removes a default, so its query fails.
void Loader::ShellFolders(const Json& v, const std::string& at) {
  if (!v.is_object()) throw PathError(at, "expected an object, got " + image::Describe(v));
  for (const auto& [key, folder] : v.items()) {
    if (image::IsNote(key)) continue;
    const std::string keyAt = image::MemberPath(at, key);
    int csidl = 0;
    const bool number =
        !key.empty() && key.size() <= 3 && key.find_first_not_of("0123456789") == std::string::npos;
    if (number) csidl = std::stoi(key);
    if (!number || csidl > 255) throw PathError(keyAt, "expected a CSIDL number (0 to 255) as the key");
    if (folder.is_null())
      m_.system.shellFolders.erase(csidl);
    else
      m_.system.shellFolders[csidl] = image::Text(folder, keyAt);
  }
}

void Loader::Accounts(const Json& v) {
  ExpectArray(v, "accounts");
  std::set<std::string> sids;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const Fields f(v[i], ElementPath("accounts", i), {"sid", "name", "domain"});
    Account a;
    a.sid = image::Utf8Text(f.Required("sid"), f.PathOf("sid"));
    if (!IsSid(a.sid)) throw PathError(f.PathOf("sid"), "not a SID: \"" + a.sid + "\"");
    if (!sids.insert(a.sid).second) throw PathError(f.PathOf("sid"), "duplicate SID " + a.sid);
    a.name = image::Text(f.Required("name"), f.PathOf("name"));
    a.domain = f.Text("domain", u"");
    m_.accounts.push_back(std::move(a));
  }
}

void Loader::Volumes(const Json* v) {
  b_.ClearVolumes();  // the builder's own drive C carries the clock's time, not the image's
  if (v == nullptr) {
    b_.AddVolume(u'C');
    return;
  }
  ExpectArray(*v, "volumes");
  for (std::size_t i = 0; i < v->size(); ++i) {
    const Fields f((*v)[i], ElementPath("volumes", i),
                   {"drive", "type", "label", "fileSystem", "readable", "device"});
    const std::u16string drive = image::Text(f.Required("drive"), f.PathOf("drive"));
    const char16_t letter = drive.size() == 1 ? UpcaseChar(drive[0]) : u'?';
    if (letter < u'A' || letter > u'Z')
      throw PathError(f.PathOf("drive"), "expected a drive letter A to Z, got \"" + Shown(drive) + "\"");
    if (m_.FindVolume(letter) != nullptr)
      throw PathError(f.PathOf("drive"), "duplicate drive " + base::Utf16ToUtf8(std::u16string(1, letter)));
    const std::uint32_t type = f.U32("type", platform::DRIVE_FIXED);
    if (type < platform::DRIVE_REMOVABLE || type > platform::DRIVE_RAMDISK)
      throw PathError(f.PathOf("type"), "unknown drive type " + std::to_string(type) +
                                            " (2 removable, 3 fixed, 4 remote, 5 optical, 6 RAM disk)");
    Volume& vol = b_.AddVolume(letter, type);
    vol.label = f.Text("label", u"");
    vol.fileSystem = f.Text("fileSystem", u"NTFS");
    vol.readable = f.Flag("readable", true);
    vol.device = f.Text("device", u"\\Device\\HarddiskVolume" + *base::Utf8ToUtf16(std::to_string(i + 1)));
  }
}

void Loader::CheckFilePath(const std::u16string& path, const std::string& at) {
  const bool letter = !path.empty() && UpcaseChar(path[0]) >= u'A' && UpcaseChar(path[0]) <= u'Z';
  if (path.size() < 4 || !letter || path[1] != u':' || path[2] != u'\\')
    throw PathError(
        at, "expected a full path below a drive such as C:\\folder\\file, got \"" + Shown(path) + "\"");
  Volume* volume = m_.FindVolume(path[0]);
  if (volume == nullptr) throw PathError(at, "no volume for drive " + base::Utf16ToUtf8(path.substr(0, 2)));
  // Walks down as far as the tree already goes: one look-up per name, however deep the path.
  FileNode* node = volume->root.get();
  for (std::size_t start = 3;;) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) end = path.size();
    const std::u16string_view name = std::u16string_view(path).substr(start, end - start);
    if (name.empty()) throw PathError(at, "empty name in path " + Shown(path));
    // NTFS holds names of up to 255 characters; a longer one exists on no real disk, and the
    // Win32 listing could not return it whole.
    if (name.size() > kMaxNameLength)
      throw PathError(at, "a name holds at most " + std::to_string(kMaxNameLength) + " characters, " +
                              std::to_string(name.size()) + " in path " + Shown(path));
    if (name == u"." || name == u"..")
      throw PathError(at, "\".\" and \"..\" cannot be names: " + Shown(path));
    // A colon starts a stream name in every path the system takes; no file name holds one.
    if (name.find(u':') != std::u16string_view::npos)
      throw PathError(at, "a name cannot hold \":\" (streams are given as \"streams\"): " + Shown(path));
    if (node != nullptr && !node->folder)
      throw PathError(at, Shown(path.substr(0, start - 1)) + " is a file, so nothing can lie below it");
    if (end == path.size()) return;
    if (node != nullptr) node = node->FindChild(name);
    start = end + 1;
  }
}

void Loader::File(const Json& v, const std::string& at) {
  const Fields f(
      v, at,
      {"path", "folder", "content", "contentBase64", "size", "allocationSize", "attributes", "reparseTag",
       "times", "shortName", "sddl", "streams", "hidden", "win32Kind", "win32Name", "locked", "fail"});
  const std::string pathAt = f.PathOf("path");
  const std::u16string path = image::Text(f.Required("path"), pathAt);
  CheckFilePath(path, pathAt);
  if (!filePaths_.insert(Upcase(path)).second) throw PathError(pathAt, "duplicate path " + Shown(path));
  const bool folder = f.Flag("folder", false);
  std::optional<std::string> content = Content(f);
  if (folder && content)
    throw PathError(f.PathOf(f.Find("content") ? "content" : "contentBase64"), "a folder has no content");
  if (!folder) {
    // A folder implied by an earlier entry's path cannot turn into a file.
    const FileNode* existing = m_.FindFile(path);
    if (existing != nullptr && existing->folder)
      throw PathError(pathAt, Shown(path) + " is a folder: other entries lie below it");
  }
  FileNode& node = folder ? b_.Folder(path) : b_.File(path);

  node.content = content.value_or("");
  const std::uint64_t size = f.U64("size", node.content.size());
  if (size > kMaxSize)
    throw PathError(f.PathOf("size"), "number " + std::to_string(size) + " is out of range");
  if (size < node.content.size())
    throw PathError(f.PathOf("size"), "size " + std::to_string(size) + " is smaller than the content (" +
                                          std::to_string(node.content.size()) + " bytes)");
  node.size = size;
  node.allocationSize = f.U64("allocationSize", (size + 4095) / 4096 * 4096);
  if (node.allocationSize > kMaxSize)
    throw PathError(f.PathOf("allocationSize"),
                    "number " + std::to_string(node.allocationSize) + " is out of range");

  node.attributes = f.U32("attributes", folder ? 0x10 : 0x20);
  if (folder != ((node.attributes & 0x10) != 0))
    throw PathError(f.PathOf("attributes"), "attributes " + Hex(node.attributes) +
                                                (folder ? " of a folder lack" : " of a file carry") +
                                                " the folder bit 0x10");
  if (f.Find("reparseTag") != nullptr) {
    node.reparseTag = f.U32("reparseTag", 0);
    if ((node.attributes & platform::kFileAttributeReparsePoint) == 0)
      throw PathError(
          f.PathOf("reparseTag"),
          "a reparse tag needs the reparse-point attribute 0x400 (attributes " + Hex(node.attributes) + ")");
  }

  if (const Json* times = f.Find("times")) {
    const Fields t(*times, f.PathOf("times"), {"creation", "lastAccess", "lastWrite", "change"});
    auto set = [&](const char* key, FileTime& field) {
      if (const Json* tv = t.Find(key)) field = image::Time(*tv, t.PathOf(key));
    };
    set("creation", node.times.creation);
    set("lastAccess", node.times.lastAccess);
    set("lastWrite", node.times.lastWrite);
    set("change", node.times.change);
  }
  if (const Json* shortName = f.Find("shortName")) {
    node.shortName = image::Text(*shortName, f.PathOf("shortName"));
    // The directory records hold 12 characters of short name; anything else would be cut.
    if (!node.shortName.empty() && !IsShortName(node.shortName))
      throw PathError(f.PathOf("shortName"), "not an 8.3 name: \"" + Shown(node.shortName) + "\"");
    givenShortNames_[&node] = f.PathOf("shortName");
  }
  if (const Json* sddl = f.Find("sddl")) node.sddl = image::Utf8Text(*sddl, f.PathOf("sddl"));
  if (const Json* streams = f.Find("streams")) Streams(node, *streams, f.PathOf("streams"));
  node.hidden = f.Flag("hidden", false);
  if (const Json* kind = f.Find("win32Kind")) {
    const std::string k = image::Utf8Text(*kind, f.PathOf("win32Kind"));
    if (k != "file" && k != "folder")
      throw PathError(f.PathOf("win32Kind"), "expected \"file\" or \"folder\", got \"" + k + "\"");
    node.win32Folder.reset();
    if ((k == "folder") != folder) node.win32Folder = k == "folder";
  }
  node.win32Name = image::Win32Name(f.Find("win32Name"), f.PathOf("win32Name"), node.name);
  node.locked = f.Flag("locked", false);
  if (const Json* fail = f.Find("fail")) FileFailures(node, *fail, f.PathOf("fail"));
}

void Loader::Streams(FileNode& node, const Json& v, const std::string& at) {
  ExpectArray(v, at);
  node.streams.clear();
  for (std::size_t i = 0; i < v.size(); ++i) {
    const Fields f(v[i], ElementPath(at, i), {"name", "content", "contentBase64", "size"});
    Stream s;
    s.name = image::Text(f.Required("name"), f.PathOf("name"));
    if (s.name.empty() || s.name.find_first_of(u":\\") != std::u16string::npos)
      throw PathError(
          f.PathOf("name"),
          "expected the stream's own name without colons or \":$DATA\", got \"" + Shown(s.name) + "\"");
    for (const Stream& other : node.streams)
      if (CompareNames(other.name, s.name) == 0)
        throw PathError(f.PathOf("name"), "duplicate stream name " + Shown(s.name));
    s.content = Content(f).value_or("");
    s.size = f.U64("size", s.content.size());
    if (s.size > kMaxSize)
      throw PathError(f.PathOf("size"), "number " + std::to_string(s.size) + " is out of range");
    if (s.size < s.content.size())
      throw PathError(f.PathOf("size"), "size " + std::to_string(s.size) + " is smaller than the content (" +
                                            std::to_string(s.content.size()) + " bytes)");
    node.streams.push_back(std::move(s));
  }
}

void Loader::FileFailures(FileNode& node, const Json& v, const std::string& at) {
  ExpectArray(v, at);
  constexpr std::string_view kListAfter = "nativeListAfter:";
  for (std::size_t i = 0; i < v.size(); ++i) {
    const std::string itemAt = ElementPath(at, i);
    const std::string name = image::Utf8Text(v[i], itemAt);
    if (name == "nativeOpen")
      node.fail.nativeOpen = true;
    else if (name == "win32List")
      node.fail.win32List = true;
    else if (name == "security")
      node.fail.security = true;
    else if (name == "streams")
      node.fail.streams = true;
    else if (name == "read")
      node.fail.read = true;
    else if (name.rfind(kListAfter, 0) == 0) {
      const std::string count = name.substr(kListAfter.size());
      if (count.empty() || count.size() > 9 || count.find_first_not_of("0123456789") != std::string::npos)
        throw PathError(itemAt, "expected nativeListAfter: and a number of entries, got \"" + name + "\"");
      node.fail.nativeListAfter = static_cast<std::uint32_t>(std::stoul(count));
    } else {
      throw PathError(itemAt,
                      "unknown failure \"" + name +
                          "\" (known: nativeOpen, nativeListAfter:N, win32List, security, streams, read)");
    }
  }
}

// Every entry whose long name is not already 8.3 gets a generated short name unless the image
// gave one; names are unique within their folder, as the file system keeps them.
void Loader::AssignShortNames() {
  std::vector<FileNode*> folders;
  for (Volume& vol : m_.volumes) folders.push_back(vol.root.get());
  while (!folders.empty()) {
    FileNode* folder = folders.back();
    folders.pop_back();
    std::set<std::u16string> taken;
    std::unordered_map<std::u16string, unsigned> nextTry;
    for (const auto& c : folder->children)
      if (givenShortNames_.count(c.get()) == 0 && IsShortName(c->name)) taken.insert(Upcase(c->name));
    // The file system keeps short names unique in a folder, or the 8.3 view could not tell two
    // entries apart.
    for (const auto& c : folder->children) {
      const auto given = givenShortNames_.find(c.get());
      if (given != givenShortNames_.end() && !c->shortName.empty() &&
          !taken.insert(Upcase(c->shortName)).second)
        throw PathError(given->second, "short name " + Shown(c->shortName) + " is taken in its folder");
    }
    for (const auto& c : folder->children) {
      if (givenShortNames_.count(c.get()) == 0 && !IsShortName(c->name)) {
        c->shortName = GenerateShortName(
            c->name, [&](const std::u16string& s) { return taken.count(s) != 0; }, &nextTry);
        taken.insert(c->shortName);
      }
      if (c->folder) folders.push_back(c.get());
    }
  }
}

// The message is one line on a terminal whatever the image's names and keys hold: control
// characters are written as the image writes them ("\u000A"), like the zero character.
std::string OneLine(const std::string& message) {
  std::string out;
  for (const char c : message) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      out += "\\u00";
      out += kDigits[b >> 4];
      out += kDigits[b & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::unique_ptr<Machine> LoadImage(std::string_view json, const std::string& fileName) {
  try {
    const Json doc = image::Parse(json);
    return Loader().Run(doc);
  } catch (const PathError& e) {
    throw ImageError(OneLine(fileName + ": " + (e.path().empty() ? "" : e.path() + ": ") + e.what()));
  } catch (const std::invalid_argument& e) {  // the builder's checks, should the loader's miss one
    throw ImageError(OneLine(fileName + ": " + e.what()));
  } catch (const std::exception& e) {  // whatever else stops the load still names the image
    throw ImageError(OneLine(fileName + ": " + e.what()));
  }
}

std::unique_ptr<Machine> LoadImageFile(const std::string& path) {
  // Only a regular file of bounded size: a device such as /dev/zero or a pipe would otherwise
  // be read forever, and a huge file would be held in memory whole.
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
      !std::filesystem::is_directory(status))  // a folder fails to read below, saying so
    throw ImageError(OneLine(path + ": not a regular file"));
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) throw ImageError(OneLine(path + ": cannot read: " + std::strerror(errno)));
  const auto tooLarge = [&] {
    return ImageError(OneLine(path + ": larger than the " + std::to_string(kMaxImageBytes >> 20) +
                              " MiB an image may have"));
  };
  if (const auto size = std::filesystem::file_size(path, error); !error && size > kMaxImageBytes)
    throw tooLarge();
  std::string text;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
    // The file may have grown since its size was asked.
    if (text.size() + n > kMaxImageBytes) throw tooLarge();
    text.append(buf, n);
  }
  if (std::ferror(f.get()) != 0) throw ImageError(OneLine(path + ": cannot read: " + std::strerror(errno)));
  return LoadImage(text, path);
}

}  // namespace sim
