// The file-name helper thread: one request at a time, reused, given up when it does not answer.
#include "processes/file_name_worker.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "processes/handle_table.h"

namespace processes {
namespace {

constexpr std::size_t kFileNameBuffer = 528;
constexpr std::size_t kMaxFileNameChars = 261;

// A handle closed through the kernel32 it came from. The helper may outlive the platform
// installation it started under, so it never closes through the installed platform.
class OwnedHandle {
 public:
  OwnedHandle(platform::Kernel32& k32, platform::Handle h) : k32_(k32), h_(h) {}
  ~OwnedHandle() {
    if (h_ != platform::kNullHandle) k32_.CloseHandle(h_);
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  platform::Handle get() const { return h_; }

 private:
  platform::Kernel32& k32_;
  platform::Handle h_;
};

// Drops blanks and control characters at both ends.
std::u16string Trim(std::u16string s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  return s.substr(b, e - b);
}

// A copy of handle `handle` of process `processId` in this process; 0 when it cannot be made.
// The owner's process handle is closed before the copy is handed back, so a query on the copy
// that never returns holds nothing but the copy.
platform::Handle CopyOfHandle(platform::Kernel32& k32, std::uint32_t processId, std::uint32_t handle) {
  const OwnedHandle owner(k32, k32.OpenProcess(platform::PROCESS_DUP_HANDLE, false, processId));
  if (owner.get() == platform::kNullHandle) return platform::kNullHandle;
  platform::Handle copy = platform::kNullHandle;
  if (!k32.DuplicateHandle(owner.get(), handle, k32.GetCurrentProcess(), copy, 0, false,
                           platform::DUPLICATE_SAME_ACCESS))
    return platform::kNullHandle;
  return copy;
}

// The file name of one handle, on the helper thread and through its own platform only.
std::string LookUpFileName(const platform::Platform& p, std::uint32_t processId, std::uint32_t handle) {
  try {
    const OwnedHandle copy(p.kernel32, CopyOfHandle(p.kernel32, processId, handle));
    if (copy.get() == platform::kNullHandle) return {};
    std::vector<std::byte> buf(kFileNameBuffer);
    platform::IoStatus io;
    if (p.ntdll.NtQueryInformationFile(copy.get(), io, buf, platform::FileNameInformation) != 0) return {};
    return p.kernel32.WideCharToMultiByte(platform::CP_ACP,
                                          Trim(ParseFileNameInformation(buf, kMaxFileNameChars)));
  } catch (...) {
    return {};
  }
}

}  // namespace

// Lives as long as either the requester or the helper holds it: a helper that is given up
// writes its late answer here, never into the requester.
struct FileNameWorker::Shared {
  explicit Shared(const platform::Platform& p) : platform(p) {}
  const platform::Platform platform;
  std::mutex mutex;
  std::condition_variable wake;      // a request or the stop is there
  std::condition_variable answered;  // the answer is there
  bool pending = false, done = false, stop = false;
  std::uint32_t processId = 0, handle = 0;
  std::string answer;
};

namespace {

void Serve(const std::shared_ptr<FileNameWorker::Shared>& s) {
  std::unique_lock lock(s->mutex);
  for (;;) {
    s->wake.wait(lock, [&] { return s->stop || s->pending; });
    if (s->stop) return;
    s->pending = false;
    const std::uint32_t processId = s->processId, handle = s->handle;
    lock.unlock();
    std::string name = LookUpFileName(s->platform, processId, handle);
    lock.lock();
    s->answer = std::move(name);
    s->done = true;
    s->answered.notify_one();
  }
}

}  // namespace

FileNameWorker::FileNameWorker(platform::Platform& platform, std::chrono::milliseconds timeout,
                               std::uint32_t maxAbandoned)
    : platform_(platform), timeout_(timeout), maxAbandoned_(maxAbandoned) {}

FileNameWorker::~FileNameWorker() {
  if (!helper_) return;
  {
    std::lock_guard lock(helper_->mutex);
    helper_->stop = true;
  }
  helper_->wake.notify_one();
  thread_.join();
}

bool FileNameWorker::Start() {
  auto shared = std::make_shared<Shared>(platform_);
  try {
    thread_ = std::thread(Serve, shared);
  } catch (const std::system_error&) {
    return false;
  }
  helper_ = std::move(shared);
  ++starts_;
  return true;
}

void FileNameWorker::Abandon() {
  {
    std::lock_guard lock(helper_->mutex);
    helper_->stop = true;  // seen when its query returns, if ever
  }
  thread_.detach();
  helper_.reset();
  ++abandoned_;
}

std::string FileNameWorker::FileName(std::uint32_t processId, std::uint32_t handle) {
  if (abandoned_ >= maxAbandoned_) return {};
  if (!helper_ && !Start()) return {};
  Shared& s = *helper_;
  std::unique_lock lock(s.mutex);
  s.processId = processId;
  s.handle = handle;
  s.pending = true;
  s.done = false;
  s.wake.notify_one();
  if (!s.answered.wait_for(lock, timeout_, [&] { return s.done; })) {
    lock.unlock();
    Abandon();
    return {};
  }
  return std::move(s.answer);
}

}  // namespace processes
