// Listing the streams of one path: backup reads of the object, or the native stream query where
// the system has no backup reads.
#include <vector>

#include "files/ads.h"
#include "platform/handles.h"
#include "platform/records.h"

namespace files {

namespace {

struct FileCloser {
  void operator()(platform::Handle h) const { platform::Current().kernel32.CloseHandle(h); }
};
// A file or folder from CreateFileW.
using FileHandle = platform::UniqueHandle<FileCloser, platform::kInvalidHandle>;

// The backup reads of one open object. The read context is released when the source goes, so it
// must go before the handle it reads.
class BackupReadSource final : public TBackupSource {
 public:
  explicit BackupReadSource(platform::Handle file) : file_(file) {}
  ~BackupReadSource() override {
    if (context_ != 0) {
      platform::DWORD unused = 0;
      platform::Current().kernel32.BackupRead(file_, {}, unused, true, false, context_);
    }
  }
  BackupReadSource(const BackupReadSource&) = delete;
  BackupReadSource& operator=(const BackupReadSource&) = delete;

  bool Read(std::span<std::byte> buffer, std::size_t& got) override {
    auto& k32 = platform::Current().kernel32;
    platform::DWORD n = 0;
    ++reads_;
    if (!k32.BackupRead(file_, buffer, n, false, true, context_)) {
      firstReadUnsupported_ = reads_ == 1 && k32.GetLastError() == platform::ERROR_NOT_SUPPORTED;
      return false;
    }
    got = n;
    return true;
  }
  bool Seek(std::uint64_t count) override {
    platform::DWORD low = 0, high = 0;
    return platform::Current().kernel32.BackupSeek(file_, static_cast<platform::DWORD>(count),
                                                   static_cast<platform::DWORD>(count >> 32), low, high,
                                                   context_);
  }
  // The system has no backup reads at all (Wine): the very first read said so.
  bool Unsupported() const { return firstReadUnsupported_; }

 private:
  platform::Handle file_;
  std::uintptr_t context_ = 0;
  int reads_ = 0;
  bool firstReadUnsupported_ = false;
};

// The data streams as the native stream query lists them. It knows no security or other backup
// kinds: the unnamed stream becomes the standard one, every named one an alternate stream.
void ForEachNativeStream(
    platform::Handle file,
    const std::function<void(const TBackupStreamHeader&, std::u16string_view)>& onStream) {
  constexpr std::size_t kLargest = std::size_t{1} << 20;
  std::vector<std::byte> buffer(4096);
  for (;;) {
    platform::IoStatus io;
    const platform::NTSTATUS s = platform::Current().ntdll.NtQueryInformationFile(
        file, io, buffer, platform::records::FileStreamInformation);
    if (s == platform::STATUS_BUFFER_OVERFLOW || s == platform::STATUS_BUFFER_TOO_SMALL ||
        s == platform::STATUS_INFO_LENGTH_MISMATCH) {
      if (buffer.size() >= kLargest) return;
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (s != platform::STATUS_SUCCESS) return;
    const std::size_t used = io.information < buffer.size() ? io.information : buffer.size();
    for (const auto& info : ParseStreamInformation(std::span(buffer).first(used))) {
      TBackupStreamHeader header;
      const bool unnamed = info.Name == u"::$DATA";
      header.Id = unnamed ? platform::BACKUP_DATA : platform::BACKUP_ALTERNATE_DATA;
      header.Size = static_cast<std::uint64_t>(info.Size);
      header.NameSize = unnamed ? 0 : static_cast<std::uint32_t>(info.Name.size() * 2);
      onStream(header, unnamed ? std::u16string_view() : std::u16string_view(info.Name));
    }
    return;
  }
}

}  // namespace

void TFileADSList::Refresh(std::string_view path, std::uint16_t filter) {
  Refresh(platform::Current().kernel32.MultiByteToWideChar(platform::CP_ACP, path), filter);
}

void TFileADSList::Refresh(std::u16string_view path, std::uint16_t filter) {
  Clear();
  // A full path is opened in its native form ("\\?\" first): the Win32 form of a file named
  // like a device ("C:\nul.sys") opens the device, and the streams of the file, which a rootkit
  // may use for hiding, would go unlisted.
  std::u16string open(path);
  if (open.size() >= 3 && open[1] == u':' && open[2] == u'\\') open.insert(0, u"\\\\?\\");
  FileHandle file(platform::Current().kernel32.CreateFileW(
      open, platform::GENERIC_READ, platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
      platform::OPEN_EXISTING, platform::FILE_FLAG_BACKUP_SEMANTICS));
  if (!file) return;
  const auto add = [&](const TBackupStreamHeader& header, std::u16string_view name) {
    Add(header, name, filter);
  };
  bool unsupported = false;
  {
    BackupReadSource source(file.get());
    WalkBackupStreams(source, add);
    unsupported = source.Unsupported();
  }
  if (unsupported) ForEachNativeStream(file.get(), add);
}

}  // namespace files
