// File digests through mapped views, the digest cache and file sizes.
#include "results/digests.h"

#include <algorithm>

#include "base/os_flags.h"
#include "platform/handles.h"
#include "platform/platform.h"

namespace results {
namespace {

using platform::KernelFileHandle;
using platform::KernelHandle;

std::vector<std::string>& Cache() {
  static std::vector<std::string> lines;
  return lines;
}

// The whole size of an open file; false when it cannot be read.
bool SizeOf(platform::Handle file, std::uint64_t& size) {
  auto& k32 = platform::Current().kernel32;
  platform::DWORD high = 0;
  k32.SetLastError(platform::ERROR_SUCCESS);
  const platform::DWORD low = k32.GetFileSize(file, &high);
  if (low == platform::INVALID_FILE_SIZE && k32.GetLastError() != platform::ERROR_SUCCESS) return false;
  size = (std::uint64_t{high} << 32) | low;
  return true;
}

// Adds the file's bytes to `ctx`, one view at a time; false when a step fails.
bool HashMapped(platform::Handle file, std::size_t viewBytes, base::TMD5Context& ctx) {
  auto& k32 = platform::Current().kernel32;
  std::uint64_t size = 0;
  if (!SizeOf(file, size)) return false;
  if (size == 0) return true;  // an empty file cannot be mapped and needs no bytes
  const platform::KernelHandle mapping(k32.CreateFileMappingA(file, platform::PAGE_READONLY, 0, 0));
  if (!mapping) return false;
  for (std::uint64_t offset = 0; offset < size;) {
    const auto bytes = static_cast<std::size_t>(std::min<std::uint64_t>(viewBytes, size - offset));
    const std::byte* view =
        k32.MapViewOfFile(mapping.get(), platform::FILE_MAP_READ, static_cast<platform::DWORD>(offset >> 32),
                          static_cast<platform::DWORD>(offset), bytes);
    if (view == nullptr) return false;
    ctx.Add(std::span(view, bytes));
    k32.UnmapViewOfFile(view);
    offset += bytes;
  }
  return true;
}

}  // namespace

base::TMD5Digest MD5OfFile(std::string_view path, std::size_t viewBytes) {
  auto& k32 = platform::Current().kernel32;
  const bool nt = base::IsNTFamily(base::GetOSFlags());
  const platform::DWORD share =
      platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE | (nt ? platform::FILE_SHARE_DELETE : 0);
  viewBytes = std::max<std::size_t>(viewBytes / 65536 * 65536, 65536);
  base::TMD5Context ctx;
  const platform::KernelFileHandle file(k32.CreateFileA(
      path, platform::GENERIC_READ, share, platform::OPEN_EXISTING, platform::FILE_FLAG_SEQUENTIAL_SCAN));
  // A file that cannot be read whole gives the digest of empty input, never a digest of a part.
  if (!file || !HashMapped(file.get(), viewBytes, ctx)) ctx.Begin();
  return ctx.Finish();
}

std::string FileMD5Text(std::string_view path) {
  std::string hex = base::DigestToHex(MD5OfFile(path));
  std::transform(hex.begin(), hex.end(), hex.begin(),
                 [](char c) { return c >= 'a' && c <= 'f' ? c - 32 : c; });
  return hex;
}

std::string CachedFileMD5(std::string_view path) {
  auto& k32 = platform::Current().kernel32;
  // Lines split at their last "=": digests never hold one, paths may.
  for (const std::string& line : Cache()) {
    const std::size_t eq = line.rfind('=');
    if (eq == std::string::npos) continue;
    if (k32.CompareStringA(platform::LOCALE_USER_DEFAULT, platform::NORM_IGNORECASE,
                           std::string_view(line).substr(0, eq), path) == platform::CSTR_EQUAL &&
        line.size() - eq - 1 == 32)
      return line.substr(eq + 1);
  }
  std::string hex = base::DigestToHex(MD5OfFile(path));
  Cache().push_back(std::string(path) + "=" + hex);
  return hex;
}

const std::vector<std::string>& DigestCacheLines() { return Cache(); }
void ResetDigestCache() { Cache().clear(); }

std::int64_t FileSize64(std::string_view path) {
  auto& k32 = platform::Current().kernel32;
  if (k32.GetFileAttributesA(path) == platform::INVALID_FILE_ATTRIBUTES) return 0;
  const platform::KernelFileHandle file(
      k32.CreateFileA(path, platform::GENERIC_READ,
                      platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE | platform::FILE_SHARE_DELETE,
                      platform::OPEN_EXISTING, platform::FILE_ATTRIBUTE_NORMAL));
  std::uint64_t size = 0;
  if (!file || !SizeOf(file.get(), size)) return 0;
  return static_cast<std::int64_t>(size);
}

}  // namespace results
