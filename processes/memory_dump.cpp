// Copies a process's main executable image out of its memory and lays its sections back out as a file.
#include "processes/memory_dump.h"

#include <algorithm>
#include <cstring>

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/record_io.h"
#include "processes/snapshots.h"

namespace processes {
namespace {

namespace rec = platform::records;

// Where an executable is loaded when nothing says otherwise.
constexpr std::uint64_t kDefaultImageBase = 0x400000;

// Grows `out` with zeros up to `size`, unless that is a run longer than the limit or would
// take the output past `limit`; false then, and nothing is written.
bool PadTo(std::vector<std::byte>& out, std::uint64_t size, std::uint64_t limit) {
  if (size <= out.size()) return true;
  if (size - out.size() > kMaxZeroPadding || size > limit) return false;
  out.resize(static_cast<std::size_t>(size));
  return true;
}

}  // namespace

bool ReadImageMemory(std::uint32_t processId, std::vector<std::byte>& stream) {
  auto& k32 = platform::Current().kernel32;
  std::uint64_t imageBase = kDefaultImageBase;
  TModuleListTH32Simple modules;
  if (modules.TakeSnapshot(processId) && modules.Count() > 0) {
    rec::ModuleEntry32 first{};
    modules.GetItem(0, first);
    imageBase = first.modBaseAddr;
  }

  const platform::KernelHandle process(
      k32.OpenProcess(platform::PROCESS_QUERY_INFORMATION | platform::PROCESS_VM_READ, false, processId));
  if (!process) return false;
  platform::Kernel32::SystemInfo info;
  k32.GetSystemInfo(info);

  bool allRead = true;
  std::vector<std::byte> region;
  for (std::uint64_t address = info.minimumApplicationAddress; address <= info.maximumApplicationAddress;) {
    std::byte buffer[sizeof(rec::MEMORY_BASIC_INFORMATION)];
    if (k32.VirtualQueryEx(process.get(), address, buffer) < sizeof buffer) break;
    const auto mbi = *rec::RecordReader(buffer).Get<rec::MEMORY_BASIC_INFORMATION>(0);
    // The next region starts where this one ends; a system that answers no progress ends the walk.
    const std::uint64_t next = std::uint64_t{mbi.BaseAddress} + mbi.RegionSize;
    if (mbi.AllocationBase == imageBase && allRead) {
      region.assign(mbi.RegionSize, std::byte{0});
      std::size_t got = 0;
      if (k32.ReadProcessMemory(process.get(), mbi.BaseAddress, region, got) && got == region.size())
        stream.insert(stream.end(), region.begin(), region.end());
      else
        allRead = false;
    }
    if (next <= address) break;
    address = next;
  }
  return allRead;
}

void RebuildFileLayout(std::span<const std::byte> image, std::vector<std::byte>& output,
                       const TPEReader& reader) {
  output.clear();
  if (reader.SectionCount() == 0) return;
  // Nothing in a real image makes the file longer than its memory and one run of padding.
  const std::uint64_t limit = std::uint64_t{image.size()} + kMaxZeroPadding;
  // Copies `count` bytes of the image from `from` to the output at `to`, as many as the image
  // holds (less when a region could not be read); the output grows to take them.
  const auto copy = [&](std::uint64_t from, std::uint64_t to, std::uint64_t count) {
    if (from >= image.size()) return;
    const std::uint64_t n = std::min<std::uint64_t>(count, image.size() - from);
    if (n == 0) return;
    if (to + n > output.size()) output.resize(static_cast<std::size_t>(to + n));
    std::memcpy(output.data() + to, image.data() + from, static_cast<std::size_t>(n));
  };

  // The headers: everything before the first section's data.
  const std::uint32_t headers = reader.GetSection(0).PointerToRawData;
  copy(0, 0, headers);
  PadTo(output, headers, limit);
  // The COFF symbol table a file may carry after its sections is never loaded: the copy has
  // none, so its headers must not point at one.
  rec::RecordWriter w(output);
  const rec::RecordReader headerReader(output);
  if (const auto lfanew = headerReader.Get<std::int32_t>(60); lfanew && *lfanew >= 0) {
    const std::size_t fileHeader = static_cast<std::size_t>(*lfanew) + 4;
    w.Put<std::uint32_t>(fileHeader + offsetof(rec::IMAGE_FILE_HEADER, PointerToSymbolTable), 0);
    w.Put<std::uint32_t>(fileHeader + offsetof(rec::IMAGE_FILE_HEADER, NumberOfSymbols), 0);
    // A long section name ("/" and an offset) is kept in the string table behind the symbols,
    // which went with them: a tool that reads the copy could not look it up and would refuse
    // the whole file. Such a name keeps its offset but no longer claims the table ("?19").
    const auto count =
        headerReader.Get<std::uint16_t>(fileHeader + offsetof(rec::IMAGE_FILE_HEADER, NumberOfSections));
    const auto optional =
        headerReader.Get<std::uint16_t>(fileHeader + offsetof(rec::IMAGE_FILE_HEADER, SizeOfOptionalHeader));
    if (count && optional) {
      const std::size_t table = fileHeader + sizeof(rec::IMAGE_FILE_HEADER) + *optional;
      for (std::size_t i = 0; i < *count; ++i) {
        const std::size_t name = table + i * sizeof(rec::IMAGE_SECTION_HEADER);
        if (headerReader.Get<std::uint8_t>(name) == std::uint8_t{'/'}) w.Put<std::uint8_t>(name, '?');
      }
    }
  }
  for (const auto& s : reader.Sections) {
    if (s.PointerToRawData == 0) continue;  // uninitialised data has no bytes in the file
    // A section whose padding is refused is left out, rather than written where it does not belong.
    if (!PadTo(output, s.PointerToRawData, limit)) continue;
    copy(s.VirtualAddress, s.PointerToRawData, s.VirtualSize);
  }
  const auto& last = reader.Sections.back();
  if (last.SizeOfRawData > last.VirtualSize)
    PadTo(output, std::uint64_t{output.size()} + (last.SizeOfRawData - last.VirtualSize), limit);
}

bool DumpProcessImage(std::uint32_t processId, std::vector<std::byte>& output) {
  output.clear();
  std::vector<std::byte> image;
  ReadImageMemory(processId, image);
  TPEReader reader;
  reader.SetReadImports(false);
  reader.SetReadExports(false);
  reader.SetReadResources(false);
  reader.SetReadDebugInfo(false);
  reader.SetReadSections(true);
  try {
    reader.Read(image);
  } catch (const PEReaderError&) {
    return false;
  }
  RebuildFileLayout(image, output, reader);
  return true;
}

}  // namespace processes
