// The Deep Scan's file walk: each folder listed by Win32 and natively, each native entry checked.
#include "files/deep_file_scanner.h"

#include <algorithm>
#include <exception>

#include "base/names.h"
#include "base/os_flags.h"
#include "base/reserved_names.h"
#include "base/security_text.h"
#include "files/acl_rule.h"
#include "files/ads.h"
#include "files/file_list.h"
#include "files/whitelists.h"
#include "platform/handles.h"
#include "platform/records.h"

namespace files {

namespace {

// The most characters of a name the Win32 find record holds.
constexpr std::size_t kMaxFindName = 260;

bool IsDotEntry(std::u16string_view name) { return name == u"." || name == u".."; }
bool IsFolder(std::uint32_t attributes) { return (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0; }

// A junction or symbolic link names another place; walking into it could walk a tree twice, or
// for ever when it points at one of its own parents.
bool IsNameSurrogate(const TFileListEntry& e) {
  return (e.Attributes & platform::kFileAttributeReparsePoint) != 0 &&
         (e.ReparseTag & platform::kReparseTagNameSurrogate) != 0;
}

// The names of one folder as the Win32 listing shows them: files and folders apart, looked up
// ignoring case.
struct Win32View {
  base::FoldedNameSet files, folders;
  bool Lists(std::u16string_view name, bool folder) const {
    return folder ? folders.Contains(name) : files.Contains(name);
  }
};

// The Win32 listing of `folder` (ends with "\"). Each name is read up to its first zero
// character, as a Win32 program reads cFileName. A path holding a zero character cannot be
// given to the Win32 functions at all (they would list the folder named by its first part), so
// such a folder shows nothing in the Win32 view.
Win32View ListWin32(const std::u16string& folder) {
  Win32View view;
  if (folder.find(u'\0') != std::u16string::npos) return view;
  auto& k32 = platform::Current().kernel32;
  platform::Kernel32::FindDataW data;
  platform::FindHandle find(k32.FindFirstFileW(folder + u"*.*", data));
  if (!find) return view;
  do {
    std::u16string_view name = data.fileName;
    name = name.substr(0, std::min({name.find(u'\0'), name.size(), kMaxFindName}));
    (IsFolder(data.attributes) ? view.folders : view.files).Add(name);
  } while (k32.FindNextFileW(find.get(), data));
  return view;
}

// Whether the native layer still lists `name` in `folder`: one query of the folder with the name
// as its mask. A folder that cannot be opened or queried again leaves the first look standing;
// only an answer that the name is not there (any more) drops it.
bool NativeStillLists(const std::u16string& folder, std::u16string_view name) {
  auto& nt = platform::Current().ntdll;
  const std::u16string path = NativeFolderPath(folder);
  platform::NtHandle dir;
  platform::IoStatus io;
  const platform::ObjectAttributes attributes{path, platform::OBJ_CASE_INSENSITIVE};
  if (nt.NtOpenFile(dir.put(), platform::FILE_LIST_DIRECTORY | platform::SYNCHRONIZE, attributes, io,
                    platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                    platform::FILE_DIRECTORY_FILE | platform::FILE_SYNCHRONOUS_IO_NONALERT) !=
          platform::STATUS_SUCCESS ||
      !dir)
    return true;
  std::vector<std::byte> buffer(4096);
  // A name holding a wildcard character may match others first: read on until it comes.
  for (bool first = true;; first = false) {
    std::fill(buffer.begin(), buffer.end(), std::byte{0});
    io = {};
    const platform::NTSTATUS s =
        nt.NtQueryDirectoryFile(dir.get(), platform::kNullHandle, io, buffer,
                                platform::records::FileFullDirectoryInformation, true, &name, first);
    if (s == platform::STATUS_NO_SUCH_FILE || s == platform::STATUS_NO_MORE_FILES ||
        s == platform::STATUS_OBJECT_NAME_NOT_FOUND)
      return false;
    if (s != platform::STATUS_SUCCESS) return true;
    const auto record = ParseDirectoryRecord(buffer, 0, 2);
    if (!record) return false;
    if (record->name == name) return true;
  }
}

}  // namespace

struct TRootKitScannerFiles::State {
  TACLWhiteList aclWhiteList;
  TADSWhiteList adsWhiteList;
  TNTFileEnumerator native;
  TFileADSList streams;
  std::string userSid;
  std::atomic<std::uint64_t> folders{0}, files{0}, findings{0}, recheckDrops{0};
};

TRootKitScannerFiles::TRootKitScannerFiles(std::shared_ptr<base::TSynchronizer> sync)
    : sync_(std::move(sync)), state_(std::make_unique<State>()) {
  OSFlags = base::GetOSFlags();
  IsNTFamily = base::IsNTFamily(OSFlags);
  state_->native.InformationLevel = 2;
  state_->native.IncludeDotEntries = true;
}

TRootKitScannerFiles::~TRootKitScannerFiles() = default;

TFileScanCounts TRootKitScannerFiles::Counts() const {
  return {state_->folders.load(), state_->files.load(), state_->findings.load(), state_->recheckDrops.load()};
}

void TRootKitScannerFiles::Report(bool folder, const std::u16string& path, const char* text) {
  ++state_->findings;
  (folder ? OnFolderFinding : OnFileFinding).Fire(*sync_, path, std::string(text));
}

void TRootKitScannerFiles::Execute() {
  try {
    state_->userSid = base::CurrentUserSidString();
  } catch (const std::exception&) {
    state_->userSid.clear();  // only "WD" entries count as open then
  }
  auto& k32 = platform::Current().kernel32;
  std::vector<std::u16string> stack;
  for (const std::string& drive : Drives)
    if (drive.size() >= 2)
      stack.push_back(k32.MultiByteToWideChar(platform::CP_ACP, drive.substr(0, 2)) + u"\\");

  while (!stack.empty() && !terminated_) {
    const std::u16string folder = std::move(stack.back());
    stack.pop_back();
    ++state_->folders;
    OnFolderScan.Fire(*sync_, folder);
    try {
      if (IsNTFamily)
        ScanFolderNative(folder, stack);
      else
        ScanFolderWin32Only(folder, stack);
    } catch (const std::exception&) {
      // One folder that breaks the walk's own work ends only that folder.
    }
  }
  OnTerminate.Fire(*sync_);
}

void TRootKitScannerFiles::ScanFolderNative(const std::u16string& folder,
                                            std::vector<std::u16string>& stack) {
  const Win32View win32 = ListWin32(folder);
  TNTFileEnumerator& native = state_->native;
  native.Enumerate(folder);
  const std::vector<TFileListEntry>& entries = native.Entries;

  // Entries the Win32 view lacks, looked at once more before they count: the folder's Win32
  // listing again (once, and only when there is a candidate), then the name natively.
  std::vector<bool> invisible(entries.size(), false);
  bool anyCandidate = false;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TFileListEntry& e = entries[i];
    if (IsDotEntry(e.Name) || win32.Lists(e.Name, IsFolder(e.Attributes))) continue;
    invisible[i] = true;
    anyCandidate = true;
  }
  if (anyCandidate) {
    const Win32View again = ListWin32(folder);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (!invisible[i]) continue;
      const TFileListEntry& e = entries[i];
      if (again.Lists(e.Name, IsFolder(e.Attributes)) || !NativeStillLists(folder, e.Name)) {
        invisible[i] = false;
        ++state_->recheckDrops;
      }
    }
  }

  std::u16string path;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TFileListEntry& e = entries[i];
    if (IsDotEntry(e.Name)) continue;
    ++state_->files;
    path.assign(folder).append(e.Name);
    CheckEntry(path, e.Name, IsFolder(e.Attributes), invisible[i]);
  }

  // Subfolders from the native listing alone, hidden ones included; the stack is last in,
  // first out, so they are walked in the reverse of their listing order.
  for (const TFileListEntry& e : entries) {
    if (!IsFolder(e.Attributes) || IsDotEntry(e.Name) || IsNameSurrogate(e)) continue;
    stack.push_back(folder + e.Name + u"\\");
  }
}

void TRootKitScannerFiles::CheckEntry(const std::u16string& path, std::u16string_view name, bool folder,
                                      bool invisible) {
  if (invisible) Report(folder, path, kInvisibleToWin32);
  if (base::IsReservedDeviceName(name)) Report(folder, path, kReservedFilename);
  if (name.find(u'\0') != std::u16string_view::npos) Report(folder, path, kZeroCharInFilename);
  if (AclReports(path, folder)) Report(folder, path, kNoAdminInAcl);
  CheckStreams(path);
}

bool TRootKitScannerFiles::AclReports(const std::u16string& path, bool folder) {
  // The descriptor is read through an 8-bit path, which ends at its first zero character: the
  // call would read the descriptor of another object, so such a path gets no access test.
  if (path.find(u'\0') != std::u16string::npos) return false;
  try {
    const std::string path8 = platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, path);
    // The whitelist only ever clears a finding, so it is asked only when there is one: the same
    // answers, without a dozen locale comparisons for every entry of the disk.
    const std::string sddl = base::jtGetFileSecurityString(path8, base::kOwnerGroupDacl);
    return AclDeniesAdmins(sddl, state_->userSid, folder) && !state_->aclWhiteList.Matches(path8);
  } catch (const std::exception&) {
    return false;  // an unreadable descriptor is no finding
  }
}

void TRootKitScannerFiles::CheckStreams(const std::u16string& path) {
  TFileADSList& streams = state_->streams;
  try {
    streams.Refresh(std::u16string_view(path), TFileADSList::kAlternateOnly);
  } catch (const std::exception&) {
    return;
  }
  for (int i = 0; i < streams.Count(); ++i) {
    const TFileADSEntry& s = streams.Items(i);
    if (TFileADSList::IsKnownStream(s)) continue;
    try {
      const std::string path8 = platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, path);
      if (state_->adsWhiteList.Matches(path8 + s.Name)) continue;
    } catch (const std::exception&) {
      // Without the whitelist's answer the stream is reported.
    }
    const std::u16string streamName =
        !s.WideName.empty() ? s.WideName
                            : platform::Current().kernel32.MultiByteToWideChar(platform::CP_ACP, s.Name);
    Report(false, path + streamName, kUnknownAds);
  }
}

void TRootKitScannerFiles::ScanFolderWin32Only(const std::u16string& folder,
                                               std::vector<std::u16string>& stack) {
  auto& k32 = platform::Current().kernel32;
  std::vector<std::string> files, folders;
  const std::string folder8 = k32.WideCharToMultiByte(platform::CP_ACP, folder);
  platform::Kernel32::FindDataA data;
  platform::FindHandle find(k32.FindFirstFileA(folder8 + "*.*", data));
  if (find) {
    do {
      std::string_view name = data.fileName;
      name = name.substr(0, std::min({name.find('\0'), name.size(), kMaxFindName}));
      if (!IsFolder(data.attributes))
        files.emplace_back(name);
      else if (name != "." && name != "..")
        folders.emplace_back(name);
    } while (k32.FindNextFileA(find.get(), data));
    find.reset();
  }
  // Only what a Win32 program can see: reserved names and zero characters, all reported as files.
  auto check = [&](const std::string& name) {
    ++state_->files;
    const std::u16string path = folder + k32.MultiByteToWideChar(platform::CP_ACP, name);
    if (base::IsReservedDeviceName(std::string_view(name))) Report(false, path, kReservedFilename);
    if (name.find('\0') != std::string::npos) Report(false, path, kZeroCharInFilename);
    return path;
  };
  for (const std::string& name : files) check(name);
  for (const std::string& name : folders) stack.push_back(check(name) + u"\\");
}

}  // namespace files
