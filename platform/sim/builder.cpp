// Builds simulated machines: parents implied, names counted, registry roots mapped to hives.
#include "platform/sim/builder.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "base/utf.h"

namespace sim {

namespace {
std::int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<std::int64_t>(era) * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
constexpr std::int64_t kDays1601To1970 = 134774;
constexpr std::uint64_t kTicksPerDay = 864000000000ULL;
}  // namespace

std::optional<platform::SystemTime> ParseLocalTime(std::string_view t) {
  // YYYY-MM-DDTHH:MM:SS
  if (t.size() != 19 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':')
    return std::nullopt;
  auto num = [&](std::size_t pos, std::size_t len) -> int {
    int v = 0;
    for (std::size_t i = pos; i < pos + len; ++i) {
      if (t[i] < '0' || t[i] > '9') return -1;
      v = v * 10 + (t[i] - '0');
    }
    return v;
  };
  platform::SystemTime st;
  const int y = num(0, 4), mo = num(5, 2), d = num(8, 2), h = num(11, 2), mi = num(14, 2), s = num(17, 2);
  if (y < 1601 || mo < 1 || mo > 12 || d < 1 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
    return std::nullopt;
  static constexpr std::array<int, 12> kDays = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > kDays[mo - 1] || (mo == 2 && d == 29 && !leap)) return std::nullopt;
  st.year = static_cast<std::uint16_t>(y);
  st.month = static_cast<std::uint16_t>(mo);
  st.day = static_cast<std::uint16_t>(d);
  st.hour = static_cast<std::uint16_t>(h);
  st.minute = static_cast<std::uint16_t>(mi);
  st.second = static_cast<std::uint16_t>(s);
  const std::int64_t days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  st.dayOfWeek = static_cast<std::uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  return st;
}

FileTime ToFileTime(const platform::SystemTime& t) {
  const std::int64_t days = DaysFromCivil(t.year, t.month, t.day) + kDays1601To1970;
  const std::uint64_t secs = static_cast<std::uint64_t>(t.hour) * 3600 + t.minute * 60 + t.second;
  return static_cast<std::uint64_t>(days) * kTicksPerDay + secs * 10000000ULL + t.milliseconds * 10000ULL;
}

platform::SystemTime ToSystemTime(FileTime ft) {
  std::int64_t days = static_cast<std::int64_t>(ft / kTicksPerDay) - kDays1601To1970;
  std::uint64_t rem = ft % kTicksPerDay;
  platform::SystemTime st;
  st.dayOfWeek = static_cast<std::uint16_t>(((days % 7) + 11) % 7);
  // civil_from_days
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  st.year = static_cast<std::uint16_t>(yoe + era * 400 + (m <= 2));
  st.month = static_cast<std::uint16_t>(m);
  st.day = static_cast<std::uint16_t>(d);
  st.hour = static_cast<std::uint16_t>(rem / 36000000000ULL);
  rem %= 36000000000ULL;
  st.minute = static_cast<std::uint16_t>(rem / 600000000ULL);
  rem %= 600000000ULL;
  st.second = static_cast<std::uint16_t>(rem / 10000000ULL);
  st.milliseconds = static_cast<std::uint16_t>((rem % 10000000ULL) / 10000ULL);
  return st;
}

std::optional<std::u16string> NativeKeyPath(std::u16string_view fullKey, const std::string& userSid) {
  const std::size_t slash = fullKey.find(u'\\');
  const std::u16string root = Upcase(fullKey.substr(0, slash));
  const std::u16string_view rest = slash == std::u16string_view::npos ? u"" : fullKey.substr(slash);
  std::u16string base;
  if (root == u"HKEY_LOCAL_MACHINE" || root == u"HKLM") base = u"\\Registry\\Machine";
  else if (root == u"HKEY_USERS" || root == u"HKU") base = u"\\Registry\\User";
  else if (root == u"HKEY_CURRENT_USER" || root == u"HKCU")
    base = u"\\Registry\\User\\" + std::u16string(userSid.begin(), userSid.end());
  else if (root == u"HKEY_CLASSES_ROOT" || root == u"HKCR") base = u"\\Registry\\Machine\\SOFTWARE\\Classes";
  else if (root == u"HKEY_CURRENT_CONFIG" || root == u"HKCC")
    base = u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current";
  else return std::nullopt;
  // Drop a trailing backslash so "HKLM\A\" and "HKLM\A" name the same key.
  std::u16string_view tail = rest;
  while (!tail.empty() && tail.back() == u'\\') tail.remove_suffix(1);
  return base + std::u16string(tail);
}

MachineBuilder::MachineBuilder() : machine_(std::make_unique<Machine>()) {
  const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  defaultTime_ = static_cast<FileTime>(now) * 10000000ULL + static_cast<FileTime>(kDays1601To1970) * kTicksPerDay;
  AddVolume(u'C').label = u"System";
}

Volume& MachineBuilder::AddVolume(char16_t drive, unsigned type) {
  drive = UpcaseChar(drive);
  if (drive < u'A' || drive > u'Z') throw std::invalid_argument("a drive is a letter from A to Z");
  if (machine_->FindVolume(drive) != nullptr)
    throw std::invalid_argument("drive " + base::Utf16ToUtf8(std::u16string(1, drive)) + ": is listed twice");
  Volume v;
  v.drive = drive;
  v.type = type;
  v.serialNumber = 0x1A2B0000u + static_cast<std::uint32_t>(drive);
  v.root = std::make_unique<FileNode>();
  v.root->folder = true;
  v.root->attributes = 0x16;  // a drive's root reads as hidden, system, directory
  v.root->sddl = kDefaultFileSddl;
  v.root->times = {defaultTime_, defaultTime_, defaultTime_, defaultTime_};
  v.root->fileId = nextFileId_++;
  auto& vols = machine_->volumes;
  auto it = vols.begin();
  while (it != vols.end() && it->drive < drive) ++it;
  it = vols.insert(it, std::move(v));
  // Device numbers follow the order the volumes were added in, as on a real disk layout.
  it->device = u"\\Device\\HarddiskVolume" + *base::Utf8ToUtf16(std::to_string(vols.size()));
  return *it;
}

void MachineBuilder::ClearVolumes() { machine_->volumes.clear(); }

FileNode& MachineBuilder::Node(std::u16string_view path, bool folder) {
  if (path.size() < 3 || path[1] != u':' || path[2] != u'\\')
    throw std::invalid_argument("not a full path: " + base::Utf16ToUtf8(path));
  Volume* v = machine_->FindVolume(path[0]);
  if (v == nullptr)
    throw std::invalid_argument("no volume for drive " + base::Utf16ToUtf8(path.substr(0, 2)));
  FileNode* node = v->root.get();
  std::size_t start = 3;
  while (start < path.size()) {
    std::size_t end = path.find(u'\\', start);
    const bool last = end == std::u16string_view::npos || end + 1 >= path.size();
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view name = path.substr(start, end - start);
    if (name.empty()) throw std::invalid_argument("empty name in path: " + base::Utf16ToUtf8(path));
    if (!node->folder)
      throw std::invalid_argument("a file stands where a folder is needed: " + base::Utf16ToUtf8(path));
    FileNode* child = node->FindChild(name);
    if (child == nullptr) {
      auto n = std::make_unique<FileNode>();
      n->name = std::u16string(name);
      n->folder = !last || folder;
      n->attributes = n->folder ? 0x10 : 0x20;
      n->sddl = kDefaultFileSddl;
      n->times = {defaultTime_, defaultTime_, defaultTime_, defaultTime_};
      n->fileId = nextFileId_++;
      child = node->AddChild(std::move(n));
    }
    node = child;
    start = end + 1;
  }
  return *node;
}

FileNode& MachineBuilder::Folder(std::u16string_view path) {
  FileNode& n = Node(path, true);
  if (!n.folder) throw std::invalid_argument("a file already stands at " + base::Utf16ToUtf8(path));
  return n;
}

FileNode& MachineBuilder::File(std::u16string_view path, std::string content) {
  FileNode& n = Node(path, false);
  if (n.folder) throw std::invalid_argument("a folder already stands at " + base::Utf16ToUtf8(path));
  n.size = content.size();
  n.allocationSize = (n.size + 4095) / 4096 * 4096;
  n.content = std::move(content);
  return n;
}

bool MachineBuilder::Exists(std::u16string_view path) { return machine_->FindFile(path) != nullptr; }

RegKey& MachineBuilder::Key(std::u16string_view fullKey) {
  const auto native = NativeKeyPath(fullKey, machine_->system.userSid);
  if (!native) throw std::invalid_argument("unknown root key in " + base::Utf16ToUtf8(fullKey));
  RegKey* key = &machine_->registry;
  std::u16string_view rest = std::u16string_view(*native).substr(std::u16string_view(u"\\Registry").size());
  std::size_t start = 1;
  while (start <= rest.size() && !rest.empty()) {
    std::size_t end = rest.find(u'\\', start);
    if (end == std::u16string_view::npos) end = rest.size();
    const std::u16string_view name = rest.substr(start, end - start);
    if (name.empty()) throw std::invalid_argument("empty key name in " + base::Utf16ToUtf8(fullKey));
    RegKey* sub = key->FindSubkey(name);
    if (sub == nullptr) {
      auto k = std::make_unique<RegKey>();
      k->name = std::u16string(name);
      k->sddl = kDefaultKeySddl;
      k->lastWrite = defaultTime_;
      sub = key->AddSubkey(std::move(k));
    }
    key = sub;
    start = end + 1;
  }
  return *key;
}

RegValue& MachineBuilder::Value(std::u16string_view fullKey, std::u16string_view name, std::uint32_t type,
                                std::vector<std::uint8_t> data) {
  RegKey& k = Key(fullKey);
  if (k.FindValue(name) != nullptr)
    throw std::invalid_argument("value " + base::Utf16ToUtf8(name) + " is listed twice in " +
                                base::Utf16ToUtf8(fullKey));
  k.values.push_back(RegValue{std::u16string(name), type, std::move(data), false});
  return k.values.back();
}

RegValue& MachineBuilder::StringValue(std::u16string_view fullKey, std::u16string_view name,
                                      std::u16string_view text) {
  std::vector<std::uint8_t> data;
  for (char16_t c : text) {
    data.push_back(static_cast<std::uint8_t>(c & 0xFF));
    data.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  data.push_back(0);
  data.push_back(0);
  return Value(fullKey, name, 1, std::move(data));
}

RegValue& MachineBuilder::DwordValue(std::u16string_view fullKey, std::u16string_view name, std::uint32_t v) {
  return Value(fullKey, name, 4,
               {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)});
}

Process& MachineBuilder::AddProcess(std::uint32_t pid, std::u16string_view exeFile, std::u16string_view imagePath) {
  for (const auto& p : machine_->processes)
    if (p.pid == pid) throw std::invalid_argument("process " + std::to_string(pid) + " is listed twice");
  Process p;
  p.pid = pid;
  p.exeFile = std::u16string(exeFile);
  p.imagePath = std::u16string(imagePath);
  p.threads.push_back(Thread{pid + 4, 8, 0, 0, 0});
  machine_->processes.push_back(std::move(p));
  return machine_->processes.back();
}

void MachineBuilder::Hide(std::u16string_view pattern) { machine_->hide.emplace_back(pattern); }

FileNode& MachineBuilder::BulkNode(FileNode& parent, std::u16string name, bool folder) {
  if (!parent.folder)
    throw std::invalid_argument("a file cannot hold entries: " + base::Utf16ToUtf8(parent.name));
  if (name.empty() || name.find(u'\\') != std::u16string::npos)
    throw std::invalid_argument("not a name: " + base::Utf16ToUtf8(name));
  auto n = std::make_unique<FileNode>();
  n->name = std::move(name);
  n->folder = folder;
  n->attributes = folder ? 0x10 : 0x20;
  n->sddl = kDefaultFileSddl;
  n->times = {defaultTime_, defaultTime_, defaultTime_, defaultTime_};
  n->fileId = nextFileId_++;
  n->parent = &parent;
  if (bulkSeen_.insert(&parent).second) bulkFolders_.push_back(&parent);
  parent.children.push_back(std::move(n));
  return *parent.children.back();
}

FileNode& MachineBuilder::BulkFolder(FileNode& parent, std::u16string name) {
  return BulkNode(parent, std::move(name), true);
}

FileNode& MachineBuilder::BulkFile(FileNode& parent, std::u16string name, std::uint64_t size) {
  FileNode& n = BulkNode(parent, std::move(name), false);
  n.size = size;
  n.allocationSize = (size + 4095) / 4096 * 4096;
  return n;
}

void MachineBuilder::FinishBulkFiles() {
  for (FileNode* folder : bulkFolders_) {
    auto& c = folder->children;
    // Sorting the upper-cased names once keeps the comparison cheap for large folders.
    std::vector<std::pair<std::u16string, std::unique_ptr<FileNode>>> keyed;
    keyed.reserve(c.size());
    for (auto& child : c) keyed.emplace_back(Upcase(child->name), std::move(child));
    std::sort(keyed.begin(), keyed.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    for (std::size_t i = 0; i < keyed.size(); ++i) c[i] = std::move(keyed[i].second);
    for (std::size_t i = 1; i < keyed.size(); ++i)
      if (keyed[i].first == keyed[i - 1].first)
        throw std::invalid_argument("name listed twice in one folder: " + base::Utf16ToUtf8(c[i]->name));
  }
  bulkFolders_.clear();
  bulkSeen_.clear();
}

std::unique_ptr<Machine> MachineBuilder::Build() {
  FinishBulkFiles();
  auto m = std::move(machine_);
  machine_ = std::make_unique<Machine>();
  return m;
}

// --- many registry keys at once ---

namespace {
// Looks paths up by view, so no look-up builds a string of its own.
struct PathHash {
  using is_transparent = void;
  std::size_t operator()(std::u16string_view s) const { return std::hash<std::u16string_view>{}(s); }
};
struct PathEqual {
  using is_transparent = void;
  bool operator()(std::u16string_view a, std::u16string_view b) const { return a == b; }
};
}  // namespace

std::vector<RegKey*> MachineBuilder::AddKeys(std::vector<BulkKey> keys) {
  // Upper-cased native path -> key, for every key met here; "\Registry" is the tree's root.
  std::unordered_map<std::u16string, RegKey*, PathHash, PathEqual> index;
  index.reserve(2 * keys.size() + 16);
  index.emplace(Upcase(u"\\Registry"), &machine_->registry);
  // Keys whose subkeys were appended out of order: their children are found through the index
  // only (all of them are in it from the first append on), and they are sorted at the end.
  std::unordered_set<RegKey*> unsorted;

  auto ensure = [&](auto& self, std::u16string_view path, std::u16string_view upper) -> RegKey* {
    if (auto it = index.find(upper); it != index.end()) return it->second;
    const std::size_t slash = path.rfind(u'\\');
    const std::u16string_view name = slash == std::u16string_view::npos ? path : path.substr(slash + 1);
    if (slash == std::u16string_view::npos || slash == 0 || name.empty())
      throw std::invalid_argument("empty key name in " + base::Utf16ToUtf8(path));
    RegKey* parent = self(self, path.substr(0, slash), upper.substr(0, slash));
    if (!unsorted.contains(parent)) {
      if (RegKey* found = parent->FindSubkey(name)) {
        index.emplace(upper, found);
        return found;
      }
      for (const auto& c : parent->subkeys)
        index.emplace(std::u16string(upper.substr(0, slash + 1)) + Upcase(c->name), c.get());
      unsorted.insert(parent);
    }
    auto k = std::make_unique<RegKey>();
    k->name = std::u16string(name);
    k->sddl = kDefaultKeySddl;
    k->lastWrite = defaultTime_;
    k->parent = parent;
    RegKey* added = k.get();
    parent->subkeys.push_back(std::move(k));
    index.emplace(upper, added);
    return added;
  };

  std::vector<RegKey*> out;
  out.reserve(keys.size());
  for (auto& wanted : keys) {
    const auto native = NativeKeyPath(wanted.fullKey, machine_->system.userSid);
    if (!native) throw std::invalid_argument("unknown root key in " + base::Utf16ToUtf8(wanted.fullKey));
    RegKey* key = ensure(ensure, *native, Upcase(*native));
    if (!wanted.values.empty()) {
      std::unordered_set<std::u16string> names;
      for (const auto& v : key->values) names.insert(Upcase(v.name));
      for (auto& v : wanted.values) {
        if (!names.insert(Upcase(v.name)).second)
          throw std::invalid_argument("value " + base::Utf16ToUtf8(v.name) + " is listed twice in " +
                                      base::Utf16ToUtf8(wanted.fullKey));
        key->values.push_back(std::move(v));
      }
    }
    out.push_back(key);
  }
  auto before = [](const std::unique_ptr<RegKey>& a, const std::unique_ptr<RegKey>& b) {
    return CompareNames(a->name, b->name) < 0;
  };
  for (RegKey* k : unsorted)
    if (!std::is_sorted(k->subkeys.begin(), k->subkeys.end(), before))
      std::stable_sort(k->subkeys.begin(), k->subkeys.end(), before);
  return out;
}

}  // namespace sim
