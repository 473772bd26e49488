// Times the Deep Scan's file walk on a real drive against a minimal loop that makes the same
// platform calls on the same tree, both in one run: what the walk costs beyond its calls.
//
//   umbrascope_wine_bench.exe DRIVE [ROUNDS]     e.g. S: 3
//
// The drive is walked once untimed (so both sides find the tree in the caches), then ROUNDS
// times by each side in turn; the medians and their ratio are printed.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/session.h"
#include "base/security_text.h"
#include "base/synchronize.h"
#include "files/ads.h"
#include "files/deep_file_scanner.h"
#include "files/file_list.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"

namespace {

struct TreeCounts {
  std::uint64_t folders = 0;
  std::uint64_t entries = 0;  // native entries other than "." and ".."
  std::uint64_t findings = 0;
  bool operator==(const TreeCounts& o) const { return folders == o.folders && entries == o.entries; }
};

bool IsDot(const std::u16string& name) { return name == u"." || name == u".."; }

// The walk's platform calls and nothing else: per folder the Win32 listing (kept, as the walk
// keeps it to compare) and the native listing at the full-directory level with dot entries,
// per entry one security read and one stream listing, then the subfolders onto the stack.
TreeCounts MinimalLoop(const std::string& drive) {
  auto& k32 = platform::Current().kernel32;
  TreeCounts counts;
  std::vector<std::u16string> stack{std::u16string{static_cast<char16_t>(drive[0]), u':', u'\\'}};
  std::vector<std::u16string> win32Names;
  files::TNTFileEnumerator native;
  native.InformationLevel = 2;
  native.IncludeDotEntries = true;
  files::TFileADSList streams;
  while (!stack.empty()) {
    const std::u16string folder = std::move(stack.back());
    stack.pop_back();
    ++counts.folders;

    win32Names.clear();
    platform::Kernel32::FindDataW data;
    const platform::Handle find = k32.FindFirstFileW(folder + u"*.*", data);
    if (find != platform::kInvalidHandle) {
      do {
        win32Names.push_back(data.fileName);
      } while (k32.FindNextFileW(find, data));
      k32.FindClose(find);
    }

    native.Enumerate(folder);
    for (const files::TFileListEntry& e : native.Entries) {
      if (IsDot(e.Name)) continue;
      ++counts.entries;
      const std::u16string path = folder + e.Name;
      try {
        (void)base::jtGetFileSecurityString(k32.WideCharToMultiByte(platform::CP_ACP, path),
                                            base::kOwnerGroupDacl);
      } catch (const base::ESecurityError&) {
        // The walk swallows an unreadable descriptor too.
      }
      streams.Refresh(path, files::TFileADSList::kAlternateOnly);
    }
    // The walk's rule: junctions and symbolic links are checked but not walked into.
    for (const files::TFileListEntry& e : native.Entries) {
      const bool surrogate = (e.Attributes & platform::kFileAttributeReparsePoint) != 0 &&
                             (e.ReparseTag & platform::kReparseTagNameSurrogate) != 0;
      if ((e.Attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsDot(e.Name) && !surrogate)
        stack.push_back(folder + e.Name + u"\\");
    }
  }
  return counts;
}

// The walk itself, run on this thread with the hand-over a console run would make.
TreeCounts FileWalk(const std::string& drive) {
  auto sync = std::make_shared<base::TDirectSynchronizer>();
  files::TRootKitScannerFiles scanner(sync);
  scanner.Drives = {drive};
  std::uint64_t findings = 0, folders = 0;
  scanner.OnFolderScan.Set([&](const std::u16string&) { ++folders; });
  scanner.OnFileFinding.Set([&](const std::u16string&, const std::string&) { ++findings; });
  scanner.OnFolderFinding.Set([&](const std::u16string&, const std::string&) { ++findings; });
  scanner.Execute();
  const files::TFileScanCounts c = scanner.Counts();
  return TreeCounts{c.folders, c.files, findings};
}

double Seconds(const std::function<void()>& run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string Times(const std::vector<double>& v) {
  std::string out;
  char text[32];
  for (double t : v) {
    std::snprintf(text, sizeof text, "%s%.2f", out.empty() ? "" : " ", t);
    out += text;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s DRIVE [ROUNDS]   (DRIVE as C:, ROUNDS 1 to 20, default 3)\n", argv[0]);
    return 2;
  }
  const std::string drive = argv[1];
  const int rounds = argc == 3 ? std::atoi(argv[2]) : 3;
  if (drive.size() < 2 || drive[1] != ':' || rounds < 1 || rounds > 20) {
    std::fprintf(stderr, "%s: bad drive or round count\n", argv[0]);
    return 2;
  }
  platform::ScopedPlatform scope(win32::RealPlatform());
  app::RunStartup();

  const TreeCounts tree = MinimalLoop(drive);  // untimed: warms the caches for both sides
  std::printf("tree %s\\: %llu folders, %llu entries\n", drive.substr(0, 2).c_str(),
              static_cast<unsigned long long>(tree.folders), static_cast<unsigned long long>(tree.entries));
  std::fflush(stdout);

  std::vector<double> walk, loop;
  TreeCounts walked;
  for (int r = 0; r < rounds; ++r) {
    walk.push_back(Seconds([&] { walked = FileWalk(drive); }));
    TreeCounts looped;
    loop.push_back(Seconds([&] { looped = MinimalLoop(drive); }));
    if (!(looped == tree)) {
      std::fprintf(stderr, "the tree changed during the run: %llu folders, %llu entries\n",
                   static_cast<unsigned long long>(looped.folders),
                   static_cast<unsigned long long>(looped.entries));
      return 1;
    }
  }
  const double walkMedian = Median(walk), loopMedian = Median(loop);
  std::printf(
      "file walk (TRootKitScannerFiles): %.2f s, median of %d (%s); %llu folders, %llu entries, "
      "%llu findings\n",
      walkMedian, rounds, Times(walk).c_str(), static_cast<unsigned long long>(walked.folders),
      static_cast<unsigned long long>(walked.entries), static_cast<unsigned long long>(walked.findings));
  std::printf("minimal loop (same platform calls): %.2f s, median of %d (%s)\n", loopMedian, rounds,
              Times(loop).c_str());
  std::printf("file walk / minimal loop = %.2fx\n", loopMedian > 0 ? walkMedian / loopMedian : 0.0);
  if (!(walked == tree)) {
    std::printf(
        "the walk and the loop covered different trees (walk: %llu folders, %llu entries): the ratio "
        "compares unlike work\n",
        static_cast<unsigned long long>(walked.folders), static_cast<unsigned long long>(walked.entries));
    return 1;
  }
  return 0;
}
