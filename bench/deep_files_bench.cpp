// Cost of the Deep Scan's file walk against a loop that makes only the walk's platform calls.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/session.h"
#include "base/security_text.h"
#include "files/deep_file_scanner.h"
#include "platform/handles.h"
#include "platform/record_io.h"
#include "platform/records.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"

namespace {

std::u16string Numbered(std::u16string_view stem, std::size_t i, std::u16string_view tail) {
  const std::string digits = std::to_string(i);
  std::u16string out(stem);
  out.append(digits.begin(), digits.end());
  out += tail;
  return out;
}

// `n` files: a tenth in one folder (100,000 entries on the largest machine), the rest in
// folders of 100 files, 100 such folders below each group folder.
std::unique_ptr<sim::Machine> SyntheticMachine(std::size_t n) {
  sim::MachineBuilder b;
  sim::FileNode& root = *b.machine().FindVolume(u'C')->root;
  sim::FileNode& big = b.BulkFolder(root, u"Big");
  for (std::size_t i = 0; i < n / 10; ++i) b.BulkFile(big, Numbered(u"entry", i, u".dat"), 1000);
  std::size_t left = n - n / 10;
  for (std::size_t g = 0; left > 0; ++g) {
    sim::FileNode& group = b.BulkFolder(root, Numbered(u"group", g, u""));
    for (std::size_t f = 0; f < 100 && left > 0; ++f) {
      sim::FileNode& folder = b.BulkFolder(group, Numbered(u"folder", f, u""));
      for (std::size_t k = 0; k < 100 && left > 0; ++k, --left)
        b.BulkFile(folder, Numbered(u"file", k, u".txt"), 100);
    }
  }
  return b.Build();
}

// Resident set figures of this process in KiB ("VmRSS", "VmHWM").
long StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.starts_with(field + ":")) return std::stol(line.substr(field.size() + 1));
  return -1;
}
// Sets the peak to the current resident size, so the next VmHWM is the peak from now on.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_DeepFiles(benchmark::State& state) {
  sim::ScopedSimMachine scoped(SyntheticMachine(static_cast<std::size_t>(state.range(0))));
  app::RunStartup();
  std::uint64_t entries = 0;
  long peakOverMachine = 0;
  for (auto _ : state) {
    const long before = StatusKiB("VmRSS");
    ResetPeak();
    files::TRootKitScannerFiles scanner(std::make_shared<base::TDirectSynchronizer>());
    scanner.Drives = {"C:"};
    std::uint64_t findings = 0;
    scanner.OnFileFinding.Set([&](const std::u16string&, const std::string&) { ++findings; });
    scanner.OnFolderFinding.Set([&](const std::u16string&, const std::string&) { ++findings; });
    scanner.Execute();
    entries = scanner.Counts().files;
    peakOverMachine = std::max(peakOverMachine, StatusKiB("VmHWM") - before);
    benchmark::DoNotOptimize(findings);
  }
  state.counters["entries"] = static_cast<double>(entries);
  state.counters["peak_over_machine_MB"] = static_cast<double>(peakOverMachine) / 1024.0;
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(entries));
}

// The walk's platform calls and nothing else: per folder both listings, per entry the 8-bit
// path, one descriptor read and one stream listing of the backup image.
void MinimalWalk(std::uint64_t& entries) {
  auto& k32 = platform::Current().kernel32;
  auto& nt = platform::Current().ntdll;
  namespace rec = platform::records;
  std::vector<std::u16string> stack{u"C:\\"};
  std::vector<std::byte> buffer(64 * 1024);
  std::vector<std::u16string> subfolders;
  while (!stack.empty()) {
    const std::u16string folder = std::move(stack.back());
    stack.pop_back();
    {
      platform::Kernel32::FindDataW data;
      platform::FindHandle find(k32.FindFirstFileW(folder + u"*.*", data));
      if (find)
        while (k32.FindNextFileW(find.get(), data)) benchmark::DoNotOptimize(data.fileName.size());
    }
    const std::u16string nativePath = u"\\??\\" + folder;
    platform::NtHandle dir;
    platform::IoStatus io;
    const platform::ObjectAttributes attributes{nativePath, platform::OBJ_CASE_INSENSITIVE};
    if (nt.NtOpenFile(dir.put(), platform::FILE_LIST_DIRECTORY | platform::SYNCHRONIZE, attributes, io,
                      platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                      platform::FILE_DIRECTORY_FILE | platform::FILE_SYNCHRONOUS_IO_NONALERT) !=
        platform::STATUS_SUCCESS)
      continue;
    subfolders.clear();
    while (nt.NtQueryDirectoryFile(dir.get(), platform::kNullHandle, io, buffer,
                                   rec::FileFullDirectoryInformation, false, nullptr,
                                   false) == platform::STATUS_SUCCESS) {
      const rec::RecordReader in(buffer);
      rec::WalkChain(buffer.size(), [&](std::size_t at) -> std::optional<std::uint32_t> {
        const auto head = in.Head<rec::FILE_FULL_DIR_INFORMATION>(at);
        if (!head || head->FileNameLength == 0) return std::nullopt;
        const std::u16string name =
            in.TextWithin(at + rec::kHeadBytes<rec::FILE_FULL_DIR_INFORMATION>, head->FileNameLength, 260);
        if (name != u"." && name != u"..") {
          ++entries;
          const std::u16string path = folder + name;
          try {
            benchmark::DoNotOptimize(base::jtGetFileSecurityString(
                k32.WideCharToMultiByte(platform::CP_ACP, path), base::kOwnerGroupDacl));
          } catch (const std::exception&) {
          }
          platform::KernelFileHandle file(k32.CreateFileW(
              path, platform::GENERIC_READ, platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
              platform::OPEN_EXISTING, platform::FILE_FLAG_BACKUP_SEMANTICS));
          if (file) {
            std::uintptr_t context = 0;
            std::byte head20[20];
            platform::DWORD got = 0;
            while (k32.BackupRead(file.get(), head20, got, false, true, context) && got == 20) {
              const auto size = rec::RecordReader(std::span<const std::byte>(head20)).Get<std::uint64_t>(8);
              platform::DWORD low = 0, high = 0;
              if (size && !k32.BackupSeek(file.get(), static_cast<platform::DWORD>(*size),
                                          static_cast<platform::DWORD>(*size >> 32), low, high, context))
                break;
            }
            k32.BackupRead(file.get(), {}, got, true, false, context);
          }
          if ((head->FileAttributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0)
            subfolders.push_back(path + u"\\");
        }
        return head->NextEntryOffset;
      });
      std::fill(buffer.begin(), buffer.end(), std::byte{0});
    }
    for (auto& s : subfolders) stack.push_back(std::move(s));
  }
}

void BM_DeepFilesMinimal(benchmark::State& state) {
  sim::ScopedSimMachine scoped(SyntheticMachine(static_cast<std::size_t>(state.range(0))));
  app::RunStartup();
  std::uint64_t entries = 0;
  for (auto _ : state) {
    entries = 0;
    MinimalWalk(entries);
  }
  state.counters["entries"] = static_cast<double>(entries);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(entries));
}

BENCHMARK(BM_DeepFiles)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DeepFilesMinimal)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
