// The simulated machine: process memory: system facts, region queries, reads.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/record_io.h"
#include "platform/sim/sim_kernel32.h"
#include "platform/sim/sim_others.h"
#include "platform/sim/sim_process_handle.h"

namespace sim {
namespace {

namespace rec = platform::records;

constexpr std::uint64_t kPageSize = 0x1000;
constexpr std::uint64_t kLowestAddress = 0x10000;
// The top of the user address space of the build's pointer width, as Windows reports it.
constexpr std::uint64_t kHighestAddress = sizeof(void*) == 4 ? 0x7FFEFFFFull : 0x7FFFFFFEFFFFull;

// One block of a process's memory: its start, its bytes, and whether a module was loaded there.
struct Block {
  std::uint64_t base = 0;
  std::string_view bytes;
  bool image = false;
};

// The process's readable memory in address order: the image's regions and the environment block.
std::vector<Block> Blocks(const Process& p, const std::string& peb) {
  std::vector<Block> blocks;
  for (const auto& r : p.memory) {
    const bool image =
        std::any_of(p.modules.begin(), p.modules.end(), [&](const Module& m) { return m.base == r.base; });
    blocks.push_back({r.base, r.content, image});
  }
  const bool pebFree = std::none_of(blocks.begin(), blocks.end(), [&](const Block& b) {
    return kProcessEnvironmentBlockAddress < b.base + b.bytes.size() &&
           b.base < kProcessEnvironmentBlockAddress + peb.size();
  });
  if (!peb.empty() && pebFree) blocks.push_back({kProcessEnvironmentBlockAddress, peb, false});
  std::sort(blocks.begin(), blocks.end(), [](const Block& a, const Block& b) { return a.base < b.base; });
  return blocks;
}

platform::DWORD ErrorOf(ProcessHandleError error) {
  return error == ProcessHandleError::kAccessDenied ? platform::ERROR_ACCESS_DENIED
                                                    : platform::ERROR_INVALID_HANDLE;
}

}  // namespace

void SimKernel32::GetSystemInfo(SystemInfo& info) {
  info = {};
  info.processorArchitecture = sizeof(void*) == 4 ? 0 : 9;  // x86, x64
  info.pageSize = static_cast<platform::DWORD>(kPageSize);
  info.minimumApplicationAddress = kLowestAddress;
  info.maximumApplicationAddress = kHighestAddress;
  info.activeProcessorMask = 1;
  info.numberOfProcessors = 1;
  info.allocationGranularity = 0x10000;
}

std::size_t SimKernel32::VirtualQueryEx(platform::Handle process, std::uint64_t address,
                                        std::span<std::byte> buffer) {
  std::lock_guard lock(m_.mutex);
  ProcessHandleError error{};
  const Process* p = ProcessOfHandle(m_, process, platform::PROCESS_QUERY_INFORMATION, error);
  if (p == nullptr) {
    SetLastError(ErrorOf(error));
    return 0;
  }
  if (buffer.size() < sizeof(rec::MEMORY_BASIC_INFORMATION)) {
    SetLastError(platform::ERROR_BAD_LENGTH);
    return 0;
  }
  if (address > kHighestAddress) {
    SetLastError(platform::ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto mbi = rec::Zeroed<rec::MEMORY_BASIC_INFORMATION>();
  const std::uint64_t page = address & ~(kPageSize - 1);
  // Free memory from the page of `address` up to the next block (or the top of the space).
  std::uint64_t freeEnd = kHighestAddress + 1;
  const std::vector<Block> blocks = Blocks(*p, ProcessEnvironmentBlock(*p));
  const Block* in = nullptr;
  for (const auto& b : blocks) {
    if (address >= b.base && address - b.base < b.bytes.size()) in = &b;
    if (b.base > address) {
      freeEnd = std::min(freeEnd, b.base);
      break;
    }
  }
  if (in != nullptr) {
    const std::uint64_t start = std::max(page, in->base);
    mbi.BaseAddress = static_cast<std::uintptr_t>(start);
    mbi.AllocationBase = static_cast<std::uintptr_t>(in->base);
    mbi.AllocationProtect = in->image ? rec::kPageReadOnly : rec::kPageReadWrite;
    mbi.RegionSize = static_cast<std::uintptr_t>(in->base + in->bytes.size() - start);
    mbi.State = rec::kMemCommit;
    mbi.Protect = mbi.AllocationProtect;
    mbi.Type = in->image ? rec::kMemImage : rec::kMemPrivate;
  } else {
    mbi.BaseAddress = static_cast<std::uintptr_t>(page);
    mbi.RegionSize = static_cast<std::uintptr_t>(std::max(freeEnd, page + kPageSize) - page);
    mbi.State = rec::kMemFree;
    mbi.Protect = rec::kPageNoAccess;
  }
  rec::RecordWriter(buffer).Put(0, mbi);
  return sizeof mbi;
}

bool SimKernel32::ReadProcessMemory(platform::Handle process, std::uint64_t address,
                                    std::span<std::byte> buffer, std::size_t& bytesRead) {
  bytesRead = 0;
  std::lock_guard lock(m_.mutex);
  ProcessHandleError error{};
  const Process* p = ProcessOfHandle(m_, process, platform::PROCESS_VM_READ, error);
  if (p == nullptr) {
    SetLastError(ErrorOf(error));
    return false;
  }
  // Every byte must lie in memory, possibly in blocks that follow each other; a gap anywhere
  // fails the whole read, which then counts no bytes read.
  const std::string peb = ProcessEnvironmentBlock(*p);
  std::uint64_t at = address;
  std::size_t done = 0;
  for (const auto& b : Blocks(*p, peb)) {
    if (done == buffer.size()) break;
    if (at < b.base || at - b.base >= b.bytes.size()) continue;
    const std::size_t n = std::min<std::uint64_t>(b.bytes.size() - (at - b.base), buffer.size() - done);
    std::memcpy(buffer.data() + done, b.bytes.data() + (at - b.base), n);
    done += n;
    at += n;
  }
  if (done != buffer.size()) {
    SetLastError(platform::ERROR_PARTIAL_COPY);
    return false;
  }
  bytesRead = done;
  return true;
}

}  // namespace sim
