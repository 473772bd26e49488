// The real DLLs: cabinet.dll's file compression interface, bound at run time, its C callbacks
// routed to the caller's callback object.
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/win32/win32_classes.h"
#include "platform/win32/win32_native.h"
// After windows.h (through the shim): the interface's records and callback types only.
#include <fci.h>

namespace win32 {
namespace {

using platform::CabinetCallbacks;
using platform::CabinetErrorRecord;
using platform::CabinetParameters;

using FCICreateFn = HFCI(DIAMONDAPI*)(PERF, PFNFCIFILEPLACED, PFNFCIALLOC, PFNFCIFREE, PFNFCIOPEN, PFNFCIREAD,
                                      PFNFCIWRITE, PFNFCICLOSE, PFNFCISEEK, PFNFCIDELETE, PFNFCIGETTEMPFILE,
                                      PCCAB, void*);
using FCIAddFileFn = BOOL(DIAMONDAPI*)(HFCI, char*, char*, BOOL, PFNFCIGETNEXTCABINET, PFNFCISTATUS,
                                       PFNFCIGETOPENINFO, TCOMP);
using FCIFlushCabinetFn = BOOL(DIAMONDAPI*)(HFCI, BOOL, PFNFCIGETNEXTCABINET, PFNFCISTATUS);
using FCIFlushFolderFn = BOOL(DIAMONDAPI*)(HFCI, PFNFCIGETNEXTCABINET, PFNFCISTATUS);
using FCIDestroyFn = BOOL(DIAMONDAPI*)(HFCI);

// One open compression context: the library's error record and our caller's.
struct Context {
  ERF erf{};
  CabinetErrorRecord* errors = nullptr;
  CabinetCallbacks* callbacks = nullptr;
  HFCI hfci = nullptr;
  // A source opened before the library is asked to add it (see FCIAddFile).
  struct Opened {
    INT_PTR handle;
    std::uint16_t date, time, attributes;
  };
  std::optional<Opened> opened;
};

Context& Of(void* pv) { return *static_cast<Context*>(pv); }

template <std::size_t N>
bool CopyText(char (&to)[N], const std::string& from) {
  if (from.size() >= N) return false;
  std::memcpy(to, from.c_str(), from.size() + 1);
  return true;
}

bool ToNative(const CabinetParameters& p, CCAB& c) {
  c = CCAB{};
  c.cb = p.maximumCabinetSize;
  c.cbFolderThresh = p.folderThreshold;
  c.cbReserveCFHeader = p.reserveHeader;
  c.cbReserveCFFolder = p.reserveFolder;
  c.cbReserveCFData = p.reserveData;
  c.iCab = p.cabinetNumber;
  c.iDisk = p.diskNumber;
  c.fFailOnIncompressible = p.failOnIncompressible ? TRUE : FALSE;
  c.setID = p.setId;
  return CopyText(c.szDisk, p.disk) && CopyText(c.szCab, p.cabinetName) &&
         CopyText(c.szCabPath, p.cabinetPath);
}

CabinetParameters FromNative(const CCAB& c) {
  CabinetParameters p;
  p.maximumCabinetSize = c.cb;
  p.folderThreshold = c.cbFolderThresh;
  p.reserveHeader = c.cbReserveCFHeader;
  p.reserveFolder = c.cbReserveCFFolder;
  p.reserveData = c.cbReserveCFData;
  p.cabinetNumber = c.iCab;
  p.diskNumber = c.iDisk;
  p.failOnIncompressible = c.fFailOnIncompressible != 0;
  p.setId = c.setID;
  p.disk = std::string(c.szDisk, strnlen(c.szDisk, sizeof c.szDisk));
  p.cabinetName = std::string(c.szCab, strnlen(c.szCab, sizeof c.szCab));
  p.cabinetPath = std::string(c.szCabPath, strnlen(c.szCabPath, sizeof c.szCabPath));
  return p;
}

// --- the callbacks the library calls ---
void* DIAMONDAPI Alloc(ULONG cb) { return std::malloc(cb == 0 ? 1 : cb); }
void DIAMONDAPI Free(void* memory) { std::free(memory); }

INT_PTR DIAMONDAPI Open(char* file, int oflag, int pmode, int* err, void* pv) {
  *err = 0;
  return Of(pv).callbacks->Open(file, oflag, pmode, *err);
}
UINT DIAMONDAPI Read(INT_PTR hf, void* memory, UINT cb, int* err, void* pv) {
  *err = 0;
  return Of(pv).callbacks->Read(hf, memory, cb, *err);
}
UINT DIAMONDAPI Write(INT_PTR hf, void* memory, UINT cb, int* err, void* pv) {
  *err = 0;
  return Of(pv).callbacks->Write(hf, memory, cb, *err);
}
int DIAMONDAPI Close(INT_PTR hf, int* err, void* pv) {
  *err = 0;
  return Of(pv).callbacks->Close(hf, *err);
}
LONG DIAMONDAPI Seek(INT_PTR hf, LONG dist, int seektype, int* err, void* pv) {
  *err = 0;
  return Of(pv).callbacks->Seek(hf, dist, seektype, *err);
}
int DIAMONDAPI Delete(char* file, int* err, void* pv) {
  *err = 0;
  return Of(pv).callbacks->Delete(file, *err);
}
BOOL DIAMONDAPI GetTempFile(char* name, int size, void* pv) {
  return Of(pv).callbacks->GetTempFile(name, size) ? TRUE : FALSE;
}
int DIAMONDAPI FilePlaced(PCCAB ccab, char* file, LONG length, BOOL continuation, void* pv) {
  CabinetParameters p = FromNative(*ccab);
  return Of(pv).callbacks->FilePlaced(p, file, length, continuation != 0);
}
BOOL DIAMONDAPI GetNextCabinet(PCCAB ccab, ULONG previousEstimate, void* pv) {
  CabinetParameters p = FromNative(*ccab);
  if (!Of(pv).callbacks->GetNextCabinet(p, previousEstimate)) return FALSE;
  return ToNative(p, *ccab) ? TRUE : FALSE;
}
LONG DIAMONDAPI Status(UINT type, ULONG cb1, ULONG cb2, void* pv) {
  return Of(pv).callbacks->Status(type, cb1, cb2);
}
INT_PTR DIAMONDAPI GetOpenInfo(char* name, USHORT* date, USHORT* time, USHORT* attributes, int* err,
                               void* pv) {
  *err = 0;
  if (auto& opened = Of(pv).opened) {
    *date = opened->date;
    *time = opened->time;
    *attributes = opened->attributes;
    return std::exchange(opened, std::nullopt)->handle;
  }
  std::uint16_t d = 0, t = 0, a = 0;
  INT_PTR h = Of(pv).callbacks->GetOpenInfo(name, d, t, a, *err);
  *date = d;
  *time = t;
  *attributes = a;
  return h;
}

// The library's functions, looked up once.
struct Fci {
  FCICreateFn create = BindExport<FCICreateFn>(L"cabinet.dll", "FCICreate");
  FCIAddFileFn addFile = BindExport<FCIAddFileFn>(L"cabinet.dll", "FCIAddFile");
  FCIFlushCabinetFn flushCabinet = BindExport<FCIFlushCabinetFn>(L"cabinet.dll", "FCIFlushCabinet");
  FCIFlushFolderFn flushFolder = BindExport<FCIFlushFolderFn>(L"cabinet.dll", "FCIFlushFolder");
  FCIDestroyFn destroy = BindExport<FCIDestroyFn>(L"cabinet.dll", "FCIDestroy");
  bool complete() const { return create && addFile && flushCabinet && flushFolder && destroy; }
};
const Fci& Library() {
  static const Fci fci;
  return fci;
}

std::mutex g_mutex;
std::map<platform::Handle, std::unique_ptr<Context>> g_contexts;

// The context of `h`, its error record cleared for the next call: a record still holding the
// last failure would make Wine's library refuse every later call (ERROR_GEN_FAILURE), so one
// source that cannot be read would end the whole cabinet.
Context* Find(platform::Handle h) {
  std::lock_guard lock(g_mutex);
  auto it = g_contexts.find(h);
  if (it == g_contexts.end()) return nullptr;
  it->second->erf = ERF{};
  return it->second.get();
}

// Hands the library's record to the caller after each call.
bool Report(Context& c, BOOL ok) {
  *c.errors = {c.erf.erfOper, c.erf.erfType, c.erf.fError != 0};
  return ok != 0;
}

}  // namespace

platform::Handle Win32Cabinet::FCICreate(CabinetErrorRecord& errors, CabinetCallbacks& callbacks,
                                         const CabinetParameters& parameters) {
  errors = {};
  const Fci& fci = Library();
  if (!fci.complete()) {
    errors = {platform::FCIERR_ALLOC_FAIL, static_cast<int>(platform::ERROR_CALL_NOT_IMPLEMENTED), true};
    return platform::kNullHandle;
  }
  CCAB ccab;
  if (!ToNative(parameters, ccab)) {
    // A name the library's buffers cannot hold would be cut and the cabinet written elsewhere.
    errors = {platform::FCIERR_CAB_FILE, static_cast<int>(platform::ERROR_INVALID_PARAMETER), true};
    return platform::kNullHandle;
  }
  auto c = std::make_unique<Context>();
  c->errors = &errors;
  c->callbacks = &callbacks;
  c->hfci = fci.create(&c->erf, FilePlaced, Alloc, Free, Open, Read, Write, Close, Seek, Delete, GetTempFile,
                       &ccab, c.get());
  Report(*c, c->hfci != nullptr);
  if (c->hfci == nullptr) return platform::kNullHandle;
  auto h = reinterpret_cast<platform::Handle>(c->hfci);
  std::lock_guard lock(g_mutex);
  g_contexts[h] = std::move(c);
  return h;
}

bool Win32Cabinet::FCIAddFile(platform::Handle context, std::string_view sourceFile,
                              std::string_view nameInCabinet, bool execute, std::uint16_t compression) {
  Context* c = Find(context);
  if (c == nullptr) return false;
  std::string source(sourceFile), name(nameInCabinet);
  // The source is opened first: Wine's library records a file whose source cannot be opened
  // and then cannot write the cabinet at all, so a source that fails to open never reaches it.
  Context::Opened opened{};
  int err = 0;
  opened.handle = c->callbacks->GetOpenInfo(source, opened.date, opened.time, opened.attributes, err);
  if (opened.handle == -1) {
    *c->errors = {platform::FCIERR_OPEN_SRC, err, true};
    return false;
  }
  c->opened = opened;
  BOOL ok = Library().addFile(c->hfci, source.data(), name.data(), execute ? TRUE : FALSE, GetNextCabinet,
                              Status, GetOpenInfo, compression);
  if (c->opened) {  // the library failed before it took the source
    int ignored = 0;
    c->callbacks->Close(c->opened->handle, ignored);
    c->opened.reset();
  }
  return Report(*c, ok);
}

bool Win32Cabinet::FCIFlushCabinet(platform::Handle context, bool getNextCabinet) {
  Context* c = Find(context);
  if (c == nullptr) return false;
  return Report(*c, Library().flushCabinet(c->hfci, getNextCabinet ? TRUE : FALSE, GetNextCabinet, Status));
}

bool Win32Cabinet::FCIFlushFolder(platform::Handle context) {
  Context* c = Find(context);
  if (c == nullptr) return false;
  return Report(*c, Library().flushFolder(c->hfci, GetNextCabinet, Status));
}

bool Win32Cabinet::FCIDestroy(platform::Handle context) {
  std::unique_ptr<Context> c;
  {
    std::lock_guard lock(g_mutex);
    auto it = g_contexts.find(context);
    if (it == g_contexts.end()) return false;
    c = std::move(it->second);
    g_contexts.erase(it);
  }
  return Report(*c, Library().destroy(c->hfci));
}

}  // namespace win32
