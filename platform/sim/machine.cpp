// Look-ups and ordering rules of the simulated machine's trees.
#include "platform/sim/machine.h"

#include <algorithm>

namespace sim {

char16_t UpcaseChar(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  if (c == 0xFF) return 0x178;
  return c;
}

std::u16string Upcase(std::u16string_view s) {
  std::u16string r(s);
  for (auto& c : r) c = UpcaseChar(c);
  return r;
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = UpcaseChar(a[i]), y = UpcaseChar(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool WildcardMatch(std::u16string_view pattern, std::u16string_view name) {
  // Iterative matcher with one back-track point for the last '*': linear in practice and never
  // recursive, so hostile names cannot blow the stack.
  std::size_t p = 0, n = 0, star = std::u16string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == u'?' || UpcaseChar(pattern[p]) == UpcaseChar(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      mark = n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

namespace {
template <typename Vec, typename Get>
auto LowerBound(Vec& v, std::u16string_view name, Get get) {
  return std::lower_bound(v.begin(), v.end(), name, [&](const auto& item, std::u16string_view n) {
    return CompareNames(get(item), n) < 0;
  });
}
}  // namespace

FileNode* FileNode::FindChild(std::u16string_view childName) {
  auto it = LowerBound(children, childName, [](const auto& c) -> std::u16string_view { return c->name; });
  if (it != children.end() && CompareNames((*it)->name, childName) == 0) return it->get();
  return nullptr;
}

FileNode* FileNode::AddChild(std::unique_ptr<FileNode> child) {
  child->parent = this;
  auto it = LowerBound(children, child->name, [](const auto& c) -> std::u16string_view { return c->name; });
  return children.insert(it, std::move(child))->get();
}

bool FileNode::RemoveChild(const FileNode* child) {
  auto it = std::find_if(children.begin(), children.end(), [&](const auto& c) { return c.get() == child; });
  if (it == children.end()) return false;
  children.erase(it);
  return true;
}

RegKey* RegKey::FindSubkey(std::u16string_view subkeyName) {
  auto it = LowerBound(subkeys, subkeyName, [](const auto& k) -> std::u16string_view { return k->name; });
  if (it != subkeys.end() && CompareNames((*it)->name, subkeyName) == 0) return it->get();
  return nullptr;
}

RegKey* RegKey::AddSubkey(std::unique_ptr<RegKey> key) {
  key->parent = this;
  auto it = LowerBound(subkeys, key->name, [](const auto& k) -> std::u16string_view { return k->name; });
  return subkeys.insert(it, std::move(key))->get();
}

bool RegKey::RemoveSubkey(const RegKey* key) {
  auto it = std::find_if(subkeys.begin(), subkeys.end(), [&](const auto& k) { return k.get() == key; });
  if (it == subkeys.end()) return false;
  subkeys.erase(it);
  return true;
}

RegValue* RegKey::FindValue(std::u16string_view valueName) {
  for (auto& v : values)
    if (CompareNames(v.name, valueName) == 0) return &v;
  return nullptr;
}

Machine::Machine() {
  registry.name = u"REGISTRY";
  registry.sddl = kDefaultKeySddl;
}

Volume* Machine::FindVolume(char16_t drive) {
  drive = UpcaseChar(drive);
  for (auto& v : volumes)
    if (v.drive == drive) return &v;
  return nullptr;
}

namespace {
// Splits at backslashes; empty components (doubled or trailing backslashes) are skipped.
template <typename F>
bool ForEachComponent(std::u16string_view path, F f) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start && !f(path.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}
}  // namespace

FileNode* Machine::FindFile(std::u16string_view path) {
  if (path.size() < 2 || path[1] != u':') return nullptr;
  Volume* v = FindVolume(path[0]);
  if (v == nullptr || !v->root) return nullptr;
  FileNode* node = v->root.get();
  const bool ok = ForEachComponent(path.substr(2), [&](std::u16string_view c) {
    node = node->folder ? node->FindChild(c) : nullptr;
    return node != nullptr;
  });
  return ok ? node : nullptr;
}

RegKey* Machine::FindKey(std::u16string_view nativePath) {
  constexpr std::u16string_view kRoot = u"\\Registry";
  if (nativePath.size() < kRoot.size() || CompareNames(nativePath.substr(0, kRoot.size()), kRoot) != 0)
    return nullptr;
  std::u16string_view rest = nativePath.substr(kRoot.size());
  if (!rest.empty() && rest[0] != u'\\') return nullptr;
  RegKey* key = &registry;
  const bool ok = ForEachComponent(rest, [&](std::u16string_view c) {
    key = key->FindSubkey(c);
    return key != nullptr;
  });
  return ok ? key : nullptr;
}

bool Machine::HiddenByPattern(std::u16string_view name) const {
  return std::any_of(hide.begin(), hide.end(), [&](const std::u16string& p) { return WildcardMatch(p, name); });
}

}  // namespace sim
