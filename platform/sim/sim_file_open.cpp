// The simulated machine's rules for opening files: Win32 paths, reserved devices, sharing, closing.
#include <algorithm>
#include <atomic>

#include "base/reserved_names.h"
#include "platform/record_io.h"
#include "platform/records.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_kernel32.h"
#include "platform/sim/sim_platform.h"

namespace sim {

using namespace platform;

bool ReadsData(DWORD access) { return (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0; }
bool WritesData(DWORD access) {
  return (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
}
bool DeletesFile(DWORD access) { return (access & (DELETE | GENERIC_ALL)) != 0; }

namespace {

bool TakesPart(DWORD access) { return ReadsData(access) || WritesData(access) || DeletesFile(access); }

// The device a Win32 name stands for whatever folder it is in: the part before the first dot,
// without trailing spaces and colons, is one of the reserved names.
bool NamesDevice(Machine& m, std::u16string_view name) {
  std::u16string_view stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && (stem.back() == u' ' || stem.back() == u':')) stem.remove_suffix(1);
  if (stem.size() < 3 || stem.size() > 4) return false;  // keeps the conversion short
  return base::IsReservedDeviceName(ToCodePage(m.system.codePage, stem));
}

// Win32 drops trailing dots and spaces from each name ("a.txt." opens "a.txt").
std::u16string_view Trimmed(std::u16string_view name) {
  while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.remove_suffix(1);
  return name;
}

}  // namespace

NTSTATUS CheckOpen(const FileNode& node, DWORD access, DWORD share) {
  if (node.deletePending) return STATUS_DELETE_PENDING;
  if (!TakesPart(access)) return STATUS_SUCCESS;
  if (node.locked && DeletesFile(access)) return STATUS_SHARING_VIOLATION;
  for (const FileOpen& o : node.opens) {
    if (!TakesPart(o.access)) continue;
    const bool theyForbid = (ReadsData(access) && (o.share & FILE_SHARE_READ) == 0) ||
                            (WritesData(access) && (o.share & FILE_SHARE_WRITE) == 0) ||
                            (DeletesFile(access) && (o.share & FILE_SHARE_DELETE) == 0);
    const bool weForbid = (ReadsData(o.access) && (share & FILE_SHARE_READ) == 0) ||
                          (WritesData(o.access) && (share & FILE_SHARE_WRITE) == 0) ||
                          (DeletesFile(o.access) && (share & FILE_SHARE_DELETE) == 0);
    if (theyForbid || weForbid) return STATUS_SHARING_VIOLATION;
  }
  return STATUS_SUCCESS;
}

Handle AddOpen(Machine& m, std::unique_ptr<SimFile> file, DWORD share, bool deleteOnClose) {
  file->share = share;
  file->node->opens.push_back(FileOpen{file.get(), file->access, share, deleteOnClose});
  return m.handles.Add(std::move(file));
}

bool CloseSimHandle(Machine& m, Handle h) {
  std::lock_guard lock(m.mutex);
  FileNode* node = nullptr;
  if (auto* f = m.handles.Get<SimFile>(h); f != nullptr && f->node != nullptr) {
    node = f->node;
    auto it = std::find_if(node->opens.begin(), node->opens.end(),
                           [&](const FileOpen& o) { return o.handleObject == f; });
    if (it != node->opens.end()) {
      if (it->deleteOnClose) node->deletePending = true;
      node->opens.erase(it);
    }
  }
  if (!m.handles.Close(h)) return false;
  if (node != nullptr && node->deletePending && node->opens.empty() && node->parent != nullptr)
    node->parent->RemoveChild(node);
  return true;
}

Win32Target ResolveWin32(Machine& m, std::u16string_view path) {
  Win32Target t;
  for (std::u16string_view prefix : {u"\\\\?\\", u"\\??\\"})
    if (path.substr(0, prefix.size()) == prefix) {
      t.native = true;
      path.remove_prefix(prefix.size());
    }
  std::u16string text(path);
  if (!t.native) std::replace(text.begin(), text.end(), u'/', u'\\');
  if (!t.native && text.substr(0, 4) == u"\\\\.\\") {  // the device namespace: \\.\NUL
    t.device = NamesDevice(m, text.substr(4));
    if (!t.device) t.error = ERROR_FILE_NOT_FOUND;
    return t;
  }
  // The parts after "X:".
  std::vector<std::u16string_view> parts;
  std::u16string_view rest(text);
  if (rest.size() < 2 || rest[1] != u':' || (rest.size() > 2 && rest[2] != u'\\')) {
    t.error = ERROR_PATH_NOT_FOUND;  // the simulated machine has no current folder
    return t;
  }
  Volume* v = m.FindVolume(rest[0]);
  std::size_t start = 3;
  while (start < rest.size()) {
    std::size_t end = rest.find(u'\\', start);
    if (end == std::u16string_view::npos) end = rest.size();
    std::u16string_view part = rest.substr(start, end - start);
    if (!t.native) {
      if (part == u".")
        part = {};
      else if (part == u"..") {
        if (!parts.empty()) parts.pop_back();
        part = {};
      } else {
        part = Trimmed(part);
      }
    }
    if (!part.empty()) parts.push_back(part);
    start = end + 1;
  }
  if (!t.native && !parts.empty() && NamesDevice(m, parts.back())) {
    t.device = true;
    return t;
  }
  if (v == nullptr || !v->root) {
    t.error = ERROR_PATH_NOT_FOUND;
    return t;
  }
  if (parts.empty()) {
    t.node = v->root.get();
    return t;
  }
  FileNode* dir = v->root.get();
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    dir = dir->FindChild(parts[i]);
    if (dir == nullptr || !dir->folder) {
      t.error = ERROR_PATH_NOT_FOUND;
      return t;
    }
  }
  t.parent = dir;
  t.name = parts.back();
  if (!t.native && t.name.find_first_of(u"<>:\"|?*") != std::u16string::npos) {
    t.error = ERROR_INVALID_NAME;
    return t;
  }
  t.node = dir->FindChild(t.name);
  return t;
}

NTSTATUS QueryFileFacts(Machine& m, Handle file, IoStatus& io, std::span<std::byte> buffer, DWORD infoClass) {
  std::lock_guard lock(m.mutex);
  const auto* f = m.handles.Get<SimFile>(file);
  if (f == nullptr) return NotAFileStatus(m, file);
  const FileNode& n = *f->node;
  records::RecordWriter out(buffer);
  if (infoClass == records::FileBasicInformation) {
    if (buffer.size() < sizeof(records::FILE_BASIC_INFORMATION)) return STATUS_INFO_LENGTH_MISMATCH;
    auto r = records::Zeroed<records::FILE_BASIC_INFORMATION>();
    r.CreationTime = static_cast<std::int64_t>(n.times.creation);
    r.LastAccessTime = static_cast<std::int64_t>(n.times.lastAccess);
    r.LastWriteTime = static_cast<std::int64_t>(n.times.lastWrite);
    r.ChangeTime = static_cast<std::int64_t>(n.times.change);
    r.FileAttributes = n.attributes;
    out.Put(0, r);
    io.information = sizeof r;
  } else {
    if (buffer.size() < sizeof(records::FILE_STANDARD_INFORMATION)) return STATUS_INFO_LENGTH_MISMATCH;
    auto r = records::Zeroed<records::FILE_STANDARD_INFORMATION>();
    r.AllocationSize = static_cast<std::int64_t>(n.folder ? 0 : n.allocationSize);
    r.EndOfFile = static_cast<std::int64_t>(n.folder ? 0 : n.size);
    r.NumberOfLinks = 1;
    r.DeletePending = n.deletePending ? 1 : 0;
    r.Directory = n.folder ? 1 : 0;
    out.Put(0, r);
    io.information = sizeof r;
  }
  return io.status = STATUS_SUCCESS;
}

FileTime Now(Machine& m) {
  if (m.system.localTime) return ToFileTime(*m.system.localTime);
  SimKernel32 k32(m);
  SystemTime st;
  k32.GetLocalTime(st);
  return ToFileTime(st);
}

}  // namespace sim
