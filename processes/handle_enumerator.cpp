// The handle table walk: table read, object names, file names on a helper thread with a time limit.
#include "processes/handle_enumerator.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "base/os_flags.h"
#include "platform/handles.h"
#include "platform/platform.h"

namespace processes {
namespace {

constexpr std::size_t kFirstTableBuffer = 4096;
constexpr std::size_t kMaxTableBuffer = std::size_t{256} << 20;
constexpr std::size_t kFileNameBuffer = 528;
constexpr std::size_t kMaxFileNameChars = 261;
constexpr platform::DWORD kMaxObjectNameBuffer = 0x10000 + 64;

std::string ToCodePage(std::u16string_view text) {
  return platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, text);
}

// Drops blanks and control characters at both ends.
std::u16string Trim(std::u16string s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  return s.substr(b, e - b);
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

std::string QueryFileName(platform::Handle file) {
  std::vector<std::byte> buf(kFileNameBuffer);
  platform::IoStatus io;
  if (platform::Current().ntdll.NtQueryInformationFile(file, io, buf, platform::FileNameInformation) != 0)
    return {};
  return ToCodePage(Trim(ParseFileNameInformation(buf, kMaxFileNameChars)));
}

// The helper's job. It lives as long as either side holds it, so an abandoned helper writes
// into its own copy, never into the caller's frame.
struct FileNameJob {
  TNtGetHandleFilenameThreadParam param;
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
};

void RunFileNameJob(const std::shared_ptr<FileNameJob>& job) {
  std::string name;
  try {
    auto& k32 = platform::Current().kernel32;
    const platform::KernelHandle process(
        k32.OpenProcess(platform::PROCESS_DUP_HANDLE, false, job->param.ProcessID));
    if (process) {
      const platform::KernelHandle copy = Duplicate(process.get(), job->param.Handle);
      if (copy) {
        name = QueryObjectName(copy.get());
        if (name.empty()) name = QueryFileName(copy.get());
      }
    }
  } catch (...) {
    name.clear();
  }
  std::lock_guard lock(job->mutex);
  job->param.FileName = std::move(name);
  job->finished = true;
  job->done.notify_all();
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

std::string LookUpNameOnHelperThread(std::uint32_t processId, std::uint32_t handle,
                                     std::chrono::milliseconds timeout) {
  auto job = std::make_shared<FileNameJob>();
  job->param.ProcessID = processId;
  job->param.Handle = handle;
  try {
    std::thread(RunFileNameJob, job).detach();
  } catch (const std::system_error&) {
    return {};
  }
  std::unique_lock lock(job->mutex);
  if (!job->done.wait_for(lock, timeout, [&] { return job->finished; })) return {};
  return job->param.FileName;
}

void TjtHandleEnumerator::Enumerate() {
  if (!OnHandle) throw std::runtime_error("Enumerating handles without a feedback method is useless!");
  auto& k32 = platform::Current().kernel32;
  VersionInfo = {};
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
  for (const HandleTableEntry& e : *entries) {
    std::string name;
    if (names) {
      try {
        if (fileType && e.ObjectTypeNumber == *fileType) {
          // Naming a file object can block for ever (a pipe with a pending read), the object
          // name query as much as the file name query: both run on the helper.
          name = LookUpNameOnHelperThread(e.ProcessID, e.Handle, FileNameTimeout);
        } else if (e.ProcessID == self) {
          name = QueryObjectName(e.Handle);
        } else if (const platform::Handle owner = owners.Open(e.ProcessID); owner != platform::kNullHandle) {
          const platform::KernelHandle copy = Duplicate(owner, e.Handle);
          if (copy) name = QueryObjectName(copy.get());
        }
      } catch (...) {
        name.clear();
      }
    }
    OnHandle(e.ProcessID, e.CreatorBackTraceIndex, e.ObjectTypeNumber, e.Flags, e.Handle, e.ObjectPointer,
             e.GrantedAccess, name);
  }
}

}  // namespace processes
