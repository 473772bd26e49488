// The compressor on a Linux host: libgcab writes the cabinet; sources are read and the cabinet
// written through the caller's callbacks, so both live wherever the callbacks put them.
#include <libgcab.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/utf.h"
#include "platform/sim/sim_cabinet.h"
#include "platform/sim/sim_platform.h"

namespace sim {
namespace {

using platform::CabinetCallbacks;
using platform::CabinetErrorRecord;
using platform::CabinetParameters;
using platform::Handle;

// The C runtime's open flags and permission bits the callbacks understand.
constexpr int kOpenReadWrite = 0x0002, kOpenCreate = 0x0100, kOpenTruncate = 0x0200, kOpenBinary = 0x8000;
constexpr int kPermissionReadWrite = 0x0180;
// The largest file a cabinet can hold.
constexpr std::uint64_t kMaximumFileSize = 0x7FFF8000u;
constexpr std::uint32_t kChunk = 64 * 1024;
constexpr std::uint16_t kStoredAttributes = 0x01 | 0x02 | 0x04 | 0x20 | platform::CAB_ATTRIBUTE_EXEC;

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorHolder {
  GError* error = nullptr;
  ~GErrorHolder() { g_clear_error(&error); }
};

// A host scratch file that holds one source's bytes until the cabinet is written.
struct Spool {
  GPtr<GFile> file;
  ~Spool() {
    if (file) g_file_delete(file.get(), nullptr, nullptr);
  }
};

struct PendingFile {
  std::string utf8Name;
  std::unique_ptr<Spool> spool;
  std::uint16_t date = 0, time = 0, attributes = 0;
};

struct Folder {
  std::uint16_t compression = 0;
  std::uint64_t bytes = 0;
  std::set<std::string> names;  // a folder holds a name once; a repeated name starts a new folder
  std::vector<PendingFile> files;
};

struct Context {
  CabinetErrorRecord* errors;
  CabinetCallbacks* callbacks;
  CabinetParameters parameters;
  std::vector<Folder> folders;
  bool folderOpen = false;
};

bool Fail(Context& c, int operation, int type) {
  *c.errors = {operation, type, true};
  return false;
}

// The DOS date and time as the library's date; null for a value that names no day (the
// cabinet then holds 0, as the system's compressor writes it).
GDateTime* DosDateTime(std::uint16_t date, std::uint16_t time) {
  int month = (date >> 5) & 15, day = date & 31;
  if (month < 1 || month > 12 || day < 1) return nullptr;
  return g_date_time_new_utc(1980 + (date >> 9), month, day, (time >> 11) & 31, (time >> 5) & 63,
                             (time & 31) * 2);
}

class GcabCabinet final : public platform::Cabinet {
 public:
  explicit GcabCabinet(Machine& m) : m_(m) {}

  Handle FCICreate(CabinetErrorRecord& errors, CabinetCallbacks& callbacks,
                   const CabinetParameters& parameters) override {
    errors = {};
    auto c = std::make_unique<Context>(Context{&errors, &callbacks, parameters, {}, false});
    std::lock_guard lock(mutex_);
    Handle h = next_++;
    contexts_[h] = std::move(c);
    return h;
  }

  bool FCIAddFile(Handle context, std::string_view sourceFile, std::string_view nameInCabinet, bool execute,
                  std::uint16_t compression) override {
    Context* c = Find(context);
    if (c == nullptr) return false;
    std::uint16_t type = compression & platform::tcompMASK_TYPE;
    if (type != platform::tcompTYPE_NONE && type != platform::tcompTYPE_MSZIP)
      return Fail(*c, platform::FCIERR_BAD_COMPR_TYPE, 0);

    PendingFile file;
    int error = 0;
    std::intptr_t source =
        c->callbacks->GetOpenInfo(std::string(sourceFile), file.date, file.time, file.attributes, error);
    if (source == -1) return Fail(*c, platform::FCIERR_OPEN_SRC, error);
    std::uint64_t size = 0;
    bool ok = CopyToSpool(*c, source, file, size);
    int closeError = 0;
    c->callbacks->Close(source, closeError);
    if (!ok) return false;

    std::string name(nameInCabinet);
    if (file.attributes & platform::CAB_ATTRIBUTE_NAME_IS_UTF) {
      file.utf8Name = name;
    } else {
      file.utf8Name = base::Utf16ToUtf8(FromCodePage(m_.system.codePage, name));
    }
    file.attributes = (file.attributes & kStoredAttributes) | (execute ? platform::CAB_ATTRIBUTE_EXEC : 0);

    if (c->callbacks->Status(platform::statusFile, static_cast<std::uint32_t>(size),
                             static_cast<std::uint32_t>(size)) == -1)
      return Fail(*c, platform::FCIERR_USER_ABORT, 0);

    Folder* folder = c->folderOpen ? &c->folders.back() : nullptr;
    if (folder == nullptr || folder->compression != type || folder->names.count(file.utf8Name) != 0) {
      c->folders.push_back(Folder{type, 0, {}, {}});
      folder = &c->folders.back();
      c->folderOpen = true;
    }
    folder->names.insert(file.utf8Name);
    folder->bytes += size;
    folder->files.push_back(std::move(file));
    if (c->parameters.folderThreshold != 0 && folder->bytes >= c->parameters.folderThreshold)
      c->folderOpen = false;

    if (c->callbacks->FilePlaced(c->parameters, name, static_cast<std::int32_t>(size), false) == -1)
      return Fail(*c, platform::FCIERR_USER_ABORT, 0);
    return true;
  }

  bool FCIFlushFolder(Handle context) override {
    Context* c = Find(context);
    if (c == nullptr) return false;
    c->folderOpen = false;
    return true;
  }

  bool FCIFlushCabinet(Handle context, bool getNextCabinet) override {
    Context* c = Find(context);
    if (c == nullptr) return false;
    std::uint32_t estimate = 0;
    for (const auto& f : c->folders) estimate += static_cast<std::uint32_t>(f.bytes);
    CabinetParameters next = c->parameters;
    if (getNextCabinet) {
      ++next.cabinetNumber;
      // The next cabinet's name belongs in this one's header, so it is asked for first; a
      // refusal leaves nothing written.
      if (!c->callbacks->GetNextCabinet(next, estimate)) return Fail(*c, platform::FCIERR_USER_ABORT, 0);
    }
    if (!c->folders.empty()) {
      c->callbacks->Status(platform::statusCabinet, estimate, estimate);
      if (!WriteCabinet(*c)) return false;
    }
    c->folders.clear();
    c->folderOpen = false;
    if (getNextCabinet) {
      c->parameters = next;
    } else {
      ++c->parameters.cabinetNumber;
    }
    return true;
  }

  bool FCIDestroy(Handle context) override {
    std::lock_guard lock(mutex_);
    return contexts_.erase(context) != 0;
  }

 private:
  Context* Find(Handle h) {
    std::lock_guard lock(mutex_);
    auto it = contexts_.find(h);
    return it == contexts_.end() ? nullptr : it->second.get();
  }

  static bool CopyToSpool(Context& c, std::intptr_t source, PendingFile& file, std::uint64_t& size) {
    GErrorHolder ge;
    GFileIOStream* io = nullptr;
    file.spool = std::make_unique<Spool>();
    file.spool->file.reset(g_file_new_tmp("umbrascope-cab-XXXXXX", &io, &ge.error));
    if (!file.spool->file) return Fail(c, platform::FCIERR_TEMP_FILE, ge.error ? ge.error->code : 0);
    GPtr<GFileIOStream> stream(io);
    GOutputStream* out = g_io_stream_get_output_stream(G_IO_STREAM(io));
    std::vector<char> buffer(kChunk);
    for (;;) {
      int error = 0;
      std::uint32_t n = c.callbacks->Read(source, buffer.data(), kChunk, error);
      if (error != 0 || n == UINT32_MAX) return Fail(c, platform::FCIERR_READ_SRC, error);
      if (n == 0) break;
      size += n;
      if (size > kMaximumFileSize) return Fail(c, platform::FCIERR_CAB_FORMAT_LIMIT, 0);
      if (!g_output_stream_write_all(out, buffer.data(), n, nullptr, nullptr, &ge.error))
        return Fail(c, platform::FCIERR_TEMP_FILE, ge.error ? ge.error->code : 0);
    }
    if (!g_io_stream_close(G_IO_STREAM(io), nullptr, &ge.error))
      return Fail(c, platform::FCIERR_TEMP_FILE, ge.error ? ge.error->code : 0);
    return true;
  }

  // Builds the cabinet in a host scratch file, then copies it out through the callbacks; a
  // cabinet that cannot be written whole is deleted again.
  static bool WriteCabinet(Context& c) {
    GErrorHolder ge;
    GPtr<GCabCabinet> cabinet(gcab_cabinet_new());
    for (const auto& f : c.folders) {
      GPtr<GCabFolder> folder(gcab_folder_new(f.compression));
      for (const auto& p : f.files) {
        // The bytes, mapped from the scratch file: an entry made from a file would take that
        // file's own time and attributes instead of the ones given.
        char* path = g_file_get_path(p.spool->file.get());
        GMappedFile* mapped = g_mapped_file_new(path, FALSE, &ge.error);
        g_free(path);
        if (mapped == nullptr) return Fail(c, platform::FCIERR_TEMP_FILE, ge.error ? ge.error->code : 0);
        GBytes* bytes = g_mapped_file_get_bytes(mapped);
        g_mapped_file_unref(mapped);
        GPtr<GCabFile> entry(gcab_file_new_with_bytes(p.utf8Name.c_str(), bytes));
        g_bytes_unref(bytes);
        gcab_file_set_attributes(entry.get(), p.attributes);
        if (GDateTime* when = DosDateTime(p.date, p.time)) {
          gcab_file_set_date_time(entry.get(), when);
          g_date_time_unref(when);
        }
        if (!gcab_folder_add_file(folder.get(), entry.get(), FALSE, nullptr, &ge.error))
          return Fail(c, platform::FCIERR_MCI_FAIL, ge.error ? ge.error->code : 0);
      }
      if (!gcab_cabinet_add_folder(cabinet.get(), folder.get(), &ge.error))
        return Fail(c, platform::FCIERR_MCI_FAIL, ge.error ? ge.error->code : 0);
    }

    GFileIOStream* io = nullptr;
    Spool built;
    built.file.reset(g_file_new_tmp("umbrascope-cab-XXXXXX", &io, &ge.error));
    if (!built.file) return Fail(c, platform::FCIERR_TEMP_FILE, ge.error ? ge.error->code : 0);
    GPtr<GFileIOStream> stream(io);
    if (!gcab_cabinet_write_simple(cabinet.get(), g_io_stream_get_output_stream(G_IO_STREAM(io)), nullptr,
                                   nullptr, nullptr, &ge.error))
      return Fail(c, platform::FCIERR_MCI_FAIL, ge.error ? ge.error->code : 0);
    g_io_stream_close(G_IO_STREAM(io), nullptr, nullptr);  // the library may have closed it already
    GPtr<GFileInputStream> in(g_file_read(built.file.get(), nullptr, &ge.error));
    if (!in) return Fail(c, platform::FCIERR_TEMP_FILE, ge.error ? ge.error->code : 0);

    const std::string target = c.parameters.cabinetPath + c.parameters.cabinetName;
    int error = 0;
    std::intptr_t out = c.callbacks->Open(target, kOpenReadWrite | kOpenCreate | kOpenTruncate | kOpenBinary,
                                          kPermissionReadWrite, error);
    if (out == -1) return Fail(c, platform::FCIERR_CAB_FILE, error);
    auto abandon = [&](int cause) {
      int ignored = 0;
      c.callbacks->Close(out, ignored);
      c.callbacks->Delete(target, ignored);
      return Fail(c, platform::FCIERR_CAB_FILE, cause);
    };
    std::vector<char> buffer(kChunk);
    for (;;) {
      gssize n = g_input_stream_read(G_INPUT_STREAM(in.get()), buffer.data(), kChunk, nullptr, &ge.error);
      if (n < 0) return abandon(ge.error ? ge.error->code : 0);
      if (n == 0) break;
      std::uint32_t written = c.callbacks->Write(out, buffer.data(), static_cast<std::uint32_t>(n), error);
      if (error != 0 || written != static_cast<std::uint32_t>(n)) return abandon(error);
    }
    if (c.callbacks->Close(out, error) != 0 || error != 0) {
      int ignored = 0;
      c.callbacks->Delete(target, ignored);
      return Fail(c, platform::FCIERR_CAB_FILE, error);
    }
    return true;
  }

  Machine& m_;
  std::mutex mutex_;
  std::map<Handle, std::unique_ptr<Context>> contexts_;
  Handle next_ = 1;
};

}  // namespace

std::unique_ptr<platform::Cabinet> MakeHostCabinet(Machine& machine) {
  return std::make_unique<GcabCabinet>(machine);
}

}  // namespace sim
