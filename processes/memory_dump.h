// Copies a process's main executable image out of its memory and lays its sections back out as a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "processes/pe_reader.h"

namespace processes {

// The longest run of zero bytes the rebuild writes at once: a header asking for more is not
// obeyed, so a hostile image cannot make the output grow without bounds.
inline constexpr std::size_t kMaxZeroPadding = 104857600;

// Reads the image memory of `processId` and rebuilds its file layout into `output`. False when
// the copied headers cannot be parsed (or nothing could be read); `output` is then empty.
// Whether every memory region could be read does not change the answer.
bool DumpProcessImage(std::uint32_t processId, std::vector<std::byte>& output);

// Appends the memory of the process's main image, from the image base on, to `stream`; true
// when every read succeeded. After a failed read nothing further is appended.
bool ReadImageMemory(std::uint32_t processId, std::vector<std::byte>& stream);

// Lays the sections that `reader` read from `image` (a copy of memory) out at their file
// positions in `output` (cleared first). Pure: no part of `image` outside it is ever read.
void RebuildFileLayout(std::span<const std::byte> image, std::vector<std::byte>& output,
                       const TPEReader& reader);

}  // namespace processes
