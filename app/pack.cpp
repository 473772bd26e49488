// The pack action: the Deep Scan rows become requests, registry entries and header lines; the
// archive is named by the minute and never takes the name of a file that is already there.
#include "app/pack.h"

#include <algorithm>
#include <cstdio>

#include "base/names.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "results/path_macros.h"

namespace app {
namespace {

// How many numbered names are tried for one minute's archive.
constexpr int kNameTries = 100;

std::string ToCodePage(std::u16string_view text) {
  return platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, text);
}

void AddOnce(std::vector<std::string>& list, const std::string& item) {
  if (std::none_of(list.begin(), list.end(),
                   [&](const std::string& s) { return base::SameIgnoringCase(s, item); }))
    list.push_back(item);
}

std::string_view FileNameOf(std::string_view path) {
  const auto cut = path.find_last_of('\\');
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// Turns the rows into what the archive packs, in list order.
void FillArchive(const std::vector<TDeepScanRow>& rows, archive::TNewCabArchiveWithRegistry& cab) {
  for (const auto& row : rows) {
    const std::string full = ToCodePage(row.FullName());
    switch (row.Kind) {
      case kKindFolder: {
        std::string pattern = full;
        if (!pattern.ends_with('\\')) pattern += '\\';
        AddOnce(cab.Requests(), pattern + "*.*");
        cab.HeaderLines().push_back("Folder, " + row.Details + ": " + full);
        break;
      }
      case kKindFile: {
        // A stream finding names "file:stream:$DATA"; the request is the stream itself.
        std::string path = full;
        if (path.size() >= 6 && path.ends_with(":$DATA")) path.resize(path.size() - 6);
        AddOnce(cab.Requests(), path);
        cab.HeaderLines().push_back("File, " + row.Details + ": " + full);
        break;
      }
      case kKindKey:
        AddOnce(cab.RegistryKeys(), full);
        cab.HeaderLines().push_back("Registry Key, " + row.Details + ": " + full);
        break;
      case kKindValue:
        AddOnce(cab.RegistryValues(), full);
        cab.HeaderLines().push_back("Registry Value, " + row.Details + ": " + full);
        break;
      default:
        break;  // nothing of other kinds goes into the archive
    }
  }
}

}  // namespace

std::string PackMessage(std::string_view fileName, std::string_view folder) {
  if (folder.empty())
    return "Your log and files have been saved as " + std::string(fileName) + " on your desktop.";
  return "Your log and files have been saved as " + std::string(fileName) + " in " + std::string(folder) +
         ".";
}

std::string ArchiveTimeStamp(const platform::SystemTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u_%02u_%02u", unsigned{t.year}, unsigned{t.month},
                unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute});
  return text;
}

std::string LogTimeText(const platform::SystemTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{t.year}, unsigned{t.month},
                unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second});
  return text;
}

TPackResult PackSuspiciousFiles(const std::vector<TDeepScanRow>& rows, const TPackPlace& place) {
  auto& k32 = platform::Current().kernel32;
  platform::SystemTime now;
  k32.GetLocalTime(now);  // once: the name and the log's first line agree

  std::string folder = place.folder;
  if (folder.empty()) {
    folder = results::ExpandPathMacros("<$DESKTOP>");
    if (folder.empty() || folder.find("<$") != std::string::npos)
      throw PackError("no archive was written: this system does not say where the desktop folder is");
  }
  if (!folder.ends_with('\\')) folder += '\\';
  const std::string base = folder + "requested-files[" + ArchiveTimeStamp(now) + "].cab";
  std::string name;
  for (int n = 1; n <= kNameTries && name.empty(); ++n) {
    const std::string candidate = archive::NumberedName(base, n);
    const bool taken = k32.GetFileAttributesA(candidate) != platform::INVALID_FILE_ATTRIBUTES ||
                       (place.nameTaken && place.nameTaken(std::string(FileNameOf(candidate))));
    if (!taken) name = candidate;
  }
  if (name.empty())
    throw PackError("no archive was written: every name up to " + archive::NumberedName(base, kNameTries) +
                    " is taken");

  archive::TNewCabArchiveWithRegistry cab;
  cab.HeaderLines() = {"Requested file archive at " + LogTimeText(now), "Created by Umbrascope",
                       std::string(kPackNotice), ""};
  cab.SetArchiveName(name);
  FillArchive(rows, cab);
  try {
    cab.Pack();
  } catch (const std::exception& e) {
    throw PackError("no archive was written: " + std::string(e.what()));
  }

  TPackResult result;
  result.archivePath = cab.ArchiveName();
  result.fileName = std::string(FileNameOf(result.archivePath));
  result.message = PackMessage(result.fileName, place.folder.empty() ? std::string_view{} : place.folder);
  for (const auto& e : cab.Entries())
    if (!e.added) result.notAdded.push_back(e);
  result.logLines = cab.LogLines();
  return result;
}

std::optional<std::string> ReadMachineFile(const std::string& path, std::string& reason) {
  auto& k32 = platform::Current().kernel32;
  platform::KernelFileHandle file(
      k32.CreateFileA(path, platform::GENERIC_READ, platform::FILE_SHARE_READ, platform::OPEN_EXISTING, 0));
  std::string bytes;
  if (file) {
    std::vector<std::byte> buffer(1 << 16);
    for (;;) {
      platform::DWORD got = 0;
      if (!k32.ReadFile(file.get(), buffer, got)) break;
      if (got == 0) return bytes;
      bytes.append(reinterpret_cast<const char*>(buffer.data()), got);
    }
  }
  reason = archive::SystemErrorText(k32.GetLastError());
  return std::nullopt;
}

}  // namespace app
