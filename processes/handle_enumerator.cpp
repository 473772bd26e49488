// The handle table walk: table read, object names, file names on a helper thread with a time limit.
#include "processes/handle_enumerator.h"

#include <stdexcept>

#include "base/os_flags.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "processes/file_name_worker.h"

namespace processes {
namespace {

constexpr std::size_t kFirstTableBuffer = 4096;
constexpr std::size_t kMaxTableBuffer = std::size_t{256} << 20;
constexpr platform::DWORD kMaxObjectNameBuffer = 0x10000 + 64;

std::string ToCodePage(std::u16string_view text) {
  return platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, text);
}

// A copy of another process's handle in this process.
platform::KernelHandle Duplicate(platform::Handle ownerProcess, std::uint32_t handle) {
  auto& k32 = platform::Current().kernel32;
  platform::KernelHandle copy;
  if (!k32.DuplicateHandle(ownerProcess, handle, k32.GetCurrentProcess(), copy.put(), 0, false,
                           platform::DUPLICATE_SAME_ACCESS))
    copy.release();
  return copy;
}

// One OpenProcess per run of entries of the same owner (the table lists them together).
class OwnerCache {
 public:
  platform::Handle Open(std::uint32_t pid) {
    if (!valid_ || pid != pid_) {
      handle_.reset();
      handle_ = platform::KernelHandle(
          platform::Current().kernel32.OpenProcess(platform::PROCESS_DUP_HANDLE, false, pid));
      pid_ = pid;
      valid_ = true;
    }
    return handle_.get();
  }

 private:
  platform::KernelHandle handle_;
  std::uint32_t pid_ = 0;
  bool valid_ = false;
};

}  // namespace

std::optional<std::uint16_t> FileObjectTypeNumber(const platform::OsVersionInfo& v) {
  if (v.majorVersion == 5 && v.minorVersion == 0) return 27;
  if (v.majorVersion == 5 && v.minorVersion == 1) return 28;
  return std::nullopt;
}

std::optional<std::vector<HandleTableEntry>> ReadHandleTable(platform::DWORD infoClass,
                                                             std::uint32_t* bufferSize) {
  auto& nt = platform::Current().ntdll;
  std::vector<std::byte> buf(kFirstTableBuffer);
  platform::DWORD needed = 0;
  platform::NTSTATUS status = nt.NtQuerySystemInformation(infoClass, buf, needed);
  // The second call asks for exactly the reported size; should the table have grown in the
  // meantime, the next ones leave some room, so a busy system still gets read.
  for (int tries = 0; status == platform::STATUS_INFO_LENGTH_MISMATCH && tries < 6; ++tries) {
    std::size_t next = needed > buf.size() ? needed : buf.size() * 2;
    if (tries > 0) next += next / 8 + kFirstTableBuffer;
    if (next > kMaxTableBuffer) return std::nullopt;
    buf.assign(next, std::byte{0});
    status = nt.NtQuerySystemInformation(infoClass, buf, needed);
  }
  if (status != platform::STATUS_SUCCESS) return std::nullopt;
  if (bufferSize != nullptr) *bufferSize = static_cast<std::uint32_t>(buf.size());
  return infoClass == platform::SystemExtendedHandleInformation ? ParseHandleTableEx(buf)
                                                                : ParseHandleTable(buf);
}

std::string QueryObjectName(platform::Handle handle) {
  auto& nt = platform::Current().ntdll;
  platform::DWORD needed = 0;
  nt.NtQueryObject(handle, platform::ObjectNameInformation, {}, needed);
  if (needed == 0 || needed > kMaxObjectNameBuffer) return {};
  std::vector<std::byte> buf(needed + 1);
  if (nt.NtQueryObject(handle, platform::ObjectNameInformation, buf, needed) != 0) return {};
  return ToCodePage(ParseObjectName(buf));
}

void TjtHandleEnumerator::Enumerate() {
  if (!OnHandle) throw std::runtime_error("Enumerating handles without a feedback method is useless!");
  auto& k32 = platform::Current().kernel32;
  VersionInfo = {};
  HelperThreadsStarted = 0;
  k32.GetVersionExA(VersionInfo);
  if (!base::IsNTFamily(
          base::GetOSFlags(VersionInfo.majorVersion, VersionInfo.minorVersion, VersionInfo.buildNumber)))
    return;
  // A file of our own, open while the table is read, shows which type number files have here.
  const platform::DWORD self = k32.GetCurrentProcessId();
  const platform::KernelFileHandle probe(
      k32.CreateFileA(k32.GetModuleFileNameA(), platform::GENERIC_READ,
                      platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE | platform::FILE_SHARE_DELETE,
                      platform::OPEN_EXISTING, platform::FILE_ATTRIBUTE_NORMAL));
  // The extended table keeps process IDs whole; systems without it have the classic one.
  auto entries = ReadHandleTable(platform::SystemExtendedHandleInformation, &BufferSize);
  if (!entries) entries = ReadHandleTable(platform::SystemHandleInformation, &BufferSize);
  if (!entries) return;
  HandleCount = static_cast<std::uint32_t>(entries->size());

  const bool names = VersionInfo.majorVersion > 4;
  auto fileType = FileObjectTypeNumber(VersionInfo);
  if (probe)
    for (const HandleTableEntry& e : *entries)
      if (e.ProcessID == self && e.Handle == probe.get()) fileType = e.ObjectTypeNumber;
  OwnerCache owners;
  FileNameWorker files(platform::Current(), FileNameTimeout);
  for (const HandleTableEntry& e : *entries) {
    std::string name;
    if (names) {
      try {
        bool copied = true;
        if (e.ProcessID == self) {
          name = QueryObjectName(e.Handle);
        } else if (const platform::Handle owner = owners.Open(e.ProcessID); owner != platform::kNullHandle) {
          const platform::KernelHandle copy = Duplicate(owner, e.Handle);
          copied = static_cast<bool>(copy);
          if (copy) name = QueryObjectName(copy.get());
        } else {
          copied = false;
        }
        // Naming a file object by its file name can block for ever (a pipe with a pending
        // synchronous read): only files the object name left unnamed go to the helper, and
        // only those this process could copy at all.
        if (name.empty() && copied && fileType && e.ObjectTypeNumber == *fileType)
          name = files.FileName(e.ProcessID, e.Handle);
      } catch (...) {
        name.clear();
      }
    }
    OnHandle(e.ProcessID, e.CreatorBackTraceIndex, e.ObjectTypeNumber, e.Flags, e.Handle, e.ObjectPointer,
             e.GrantedAccess, name);
  }
  HelperThreadsStarted = files.Starts();
}

}  // namespace processes
