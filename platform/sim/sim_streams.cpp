// The simulated stream functions: the backup image of BackupRead/BackupSeek and the native stream
// information query.
#include <algorithm>

#include "platform/record_io.h"
#include "platform/records.h"
#include "platform/sim/sim_file.h"
#include "platform/sim/sim_kernel32.h"
#include "platform/sim/sim_others.h"

namespace sim {

namespace {

using namespace platform;

// One stream of a backup image: the head with the name, then `dataSize` bytes of data of which
// `data` holds the start (the rest reads as zeros).
struct BackupPiece {
  std::vector<std::byte> head;
  std::string data;
  std::uint64_t dataSize = 0;
  std::uint64_t Total() const { return head.size() + dataSize; }
};

// The state of one backup read: the whole image as pieces and the position in it.
struct SimBackupContext : SimObject {
  std::vector<BackupPiece> pieces;
  std::size_t piece = 0;
  std::uint64_t offset = 0;  // within the current piece
};

std::u16string StreamName(const Stream& s) { return u":" + s.name + u":$DATA"; }

BackupPiece Piece(DWORD id, std::u16string_view name, const std::string& data, std::uint64_t size) {
  BackupPiece p;
  auto head = records::Zeroed<records::WIN32_STREAM_ID>();
  head.dwStreamId = id;
  head.Size = static_cast<std::int64_t>(size);
  head.dwStreamNameSize = static_cast<std::uint32_t>(name.size() * 2);
  records::AppendRecord(p.head, head, name);
  p.data = data.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(data.size(), size)));
  p.dataSize = size;
  return p;
}

// The image as the file system writes it: a file's unnamed data stream first, then the named
// streams in the order of the image. Security data is left out: the machine keeps descriptors
// as text, and the stream listing never reads them.
std::vector<BackupPiece> BackupImage(const SimFile& f) {
  std::vector<BackupPiece> out;
  if (!f.folder) out.push_back(Piece(BACKUP_DATA, u"", *f.content, f.size));
  for (const Stream& s : f.streams)
    out.push_back(Piece(BACKUP_ALTERNATE_DATA, StreamName(s), s.content, s.size));
  return out;
}

}  // namespace

bool SimKernel32::BackupRead(Handle file, std::span<std::byte> buffer, DWORD& bytesRead, bool abort, bool,
                             std::uintptr_t& context) {
  std::lock_guard lock(m_.mutex);
  bytesRead = 0;
  if (abort) {
    if (m_.handles.Get<SimBackupContext>(context) != nullptr) m_.handles.Close(context);
    context = 0;
    return true;
  }
  const auto* f = m_.handles.Get<SimFile>(file);
  DWORD error = ERROR_SUCCESS;
  if (f == nullptr)
    error = ERROR_INVALID_HANDLE;
  else if (!m_.system.backupRead)
    error = ERROR_NOT_SUPPORTED;
  else if (f->streamsFail || (!f->folder && !f->CanReadData()))  // a file's data needs read access
    error = ERROR_ACCESS_DENIED;
  else if (context != 0 && m_.handles.Get<SimBackupContext>(context) == nullptr)
    error = ERROR_INVALID_PARAMETER;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return false;
  }
  if (context == 0) {
    auto c = std::make_unique<SimBackupContext>();
    c->pieces = BackupImage(*f);
    context = m_.handles.Add(std::move(c));
  }
  auto& c = *m_.handles.Get<SimBackupContext>(context);
  // One call reads within one stream, as the real function hands the image out stream by stream.
  while (c.piece < c.pieces.size() && c.offset == c.pieces[c.piece].Total()) {
    ++c.piece;
    c.offset = 0;
  }
  if (c.piece == c.pieces.size()) return true;  // the end of the image
  const BackupPiece& p = c.pieces[c.piece];
  const std::size_t n =
      static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), p.Total() - c.offset));
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint64_t at = c.offset + i;
    if (at < p.head.size()) {
      buffer[i] = p.head[static_cast<std::size_t>(at)];
    } else {
      const std::uint64_t d = at - p.head.size();
      buffer[i] =
          d < p.data.size() ? static_cast<std::byte>(p.data[static_cast<std::size_t>(d)]) : std::byte{0};
    }
  }
  c.offset += n;
  bytesRead = static_cast<DWORD>(n);
  return true;
}

bool SimKernel32::BackupSeek(Handle file, DWORD lowBytesToSeek, DWORD highBytesToSeek, DWORD& lowBytesSeeked,
                             DWORD& highBytesSeeked, std::uintptr_t& context) {
  std::lock_guard lock(m_.mutex);
  lowBytesSeeked = highBytesSeeked = 0;
  auto* c = context != 0 ? m_.handles.Get<SimBackupContext>(context) : nullptr;
  if (m_.handles.Get<SimFile>(file) == nullptr || c == nullptr) {
    SetLastError(c == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return false;
  }
  const std::uint64_t wanted = (std::uint64_t{highBytesToSeek} << 32) | lowBytesToSeek;
  std::uint64_t moved = 0;
  if (c->piece < c->pieces.size()) {
    const BackupPiece& p = c->pieces[c->piece];
    // Only data can be skipped: a position inside the head or name does not move.
    if (c->offset >= p.head.size()) {
      moved = std::min(wanted, p.Total() - c->offset);
      c->offset += moved;
    }
  }
  lowBytesSeeked = static_cast<DWORD>(moved);
  highBytesSeeked = static_cast<DWORD>(moved >> 32);
  if (moved < wanted) {
    SetLastError(ERROR_SEEK);
    return false;
  }
  return true;
}

NTSTATUS SimNtdll::QueryStreamInformation(Handle file, IoStatus& io, std::span<std::byte> buffer) {
  std::lock_guard lock(m_.mutex);
  io.information = 0;
  const auto* f = m_.handles.Get<SimFile>(file);
  using Record = records::FILE_STREAM_INFORMATION;
  constexpr std::size_t head = records::kHeadBytes<Record>;
  NTSTATUS s = STATUS_SUCCESS;
  if (f == nullptr)
    s = NotAFileStatus(m_, file);
  else if (f->streamsFail)
    s = STATUS_ACCESS_DENIED;
  else if (buffer.size() < sizeof(Record))
    s = STATUS_INFO_LENGTH_MISMATCH;
  if (s != STATUS_SUCCESS) return io.status = s;

  struct Entry {
    std::u16string name;
    std::uint64_t size, allocation;
  };
  std::vector<Entry> entries;
  if (!f->folder) entries.push_back({u"::$DATA", f->size, f->allocationSize});
  for (const Stream& st : f->streams)
    entries.push_back({StreamName(st), st.size, (st.size + 7) & ~std::uint64_t{7}});

  // Whole records only, each 8-byte aligned; what does not fit is left for a larger buffer.
  records::RecordWriter out(buffer);
  std::size_t at = 0, last = 0;
  bool any = false;
  for (const Entry& e : entries) {
    const std::size_t start = (at + 7) & ~std::size_t{7};
    const std::size_t need = head + e.name.size() * 2;
    if (start + need > buffer.size()) {
      io.information = at;
      return io.status = STATUS_BUFFER_OVERFLOW;
    }
    if (any)
      out.Put<std::uint32_t>(last + records::kNextEntryOffsetAt, static_cast<std::uint32_t>(start - last));
    auto r = records::Zeroed<Record>();
    r.StreamNameLength = static_cast<std::uint32_t>(e.name.size() * 2);
    r.StreamSize = static_cast<std::int64_t>(e.size);
    r.StreamAllocationSize = static_cast<std::int64_t>(e.allocation);
    out.PutHead(start, r);
    out.PutText(start + head, e.name);
    last = start;
    at = start + need;
    any = true;
  }
  io.information = at;
  return io.status = STATUS_SUCCESS;
}

}  // namespace sim
