// File digests with a run-wide cache, 64-bit file sizes, and the program's tweak settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/md5.h"

namespace results {

// The MD5 of a file's whole content, read through read-only views of a mapping; the digest of
// empty input when the file cannot be opened or mapped. Files of 4 GiB and more are hashed
// whole, one view of `viewBytes` (a multiple of 64 KiB) at a time.
inline constexpr std::size_t kDefaultDigestView = std::size_t{16} << 20;
base::TMD5Digest MD5OfFile(std::string_view path, std::size_t viewBytes = kDefaultDigestView);
// Upper-case hexadecimal MD5 of a file.
std::string FileMD5Text(std::string_view path);
// Lower-case hexadecimal MD5 of a file, remembered for the rest of the run.
std::string CachedFileMD5(std::string_view path);
// The cache's lines: path, "=" and the lower-case digest.
const std::vector<std::string>& DigestCacheLines();
// Start-up: the cache begins empty.
void ResetDigestCache();

// The size of a file; 0 when it does not exist or cannot be opened.
std::int64_t FileSize64(std::string_view path);

}  // namespace results
