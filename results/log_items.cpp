// Log items and collections: digest and size readers, fill operations with their filters, usable drives.
#include "results/log_items.h"

#include <algorithm>
#include <exception>

#include "base/comma_text.h"
#include "base/match_rules.h"
#include "platform/platform.h"
#include "results/digests.h"
#include "results/tweaks.h"

namespace results {
namespace {

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
  return s;
}

std::string& Drives() {
  static std::string drives;
  return drives;
}

}  // namespace

std::string TSystemLogItem::LASSH() { return base::kEmptyMD5; }

std::int64_t TSystemLogItem::Filesize() {
  if (md5_.empty()) {
    const std::string file = CompleteFilename();
    size_ = IsReachableFile(file) ? FileSize64(file) : 0;
  }
  return size_;
}

std::string TSystemLogItem::MD5() {
  if (md5_.empty()) {
    try {
      const std::string file = CompleteFilename();
      md5_ = IsReachableFile(file) ? CachedFileMD5(file) : std::string(base::kEmptyMD5);
    } catch (const std::exception&) {
      md5_ = "n/a";
    }
  }
  return Upper(md5_);
}

bool TSystemLogItem::Matches(std::string_view pattern, int mode) {
  for (const std::string& text :
       {CompleteFilename(), Filename, LocationPath(), MakroLocationPath(), MD5(), LASSH()})
    if (base::MatchText(text, pattern, mode, true)) return true;
  return false;
}

TSystemLogItem& TSystemLogCollection::Add() {
  items_.push_back(NewItem());
  items_.back()->TargetOS = TargetOS;
  return *items_.back();
}

const std::vector<std::string>& TSystemLogCollection::SnapShot() {
  if (!snapShot_) {
    snapShot_ = std::make_unique<std::vector<std::string>>();
    FillSnapShot(*snapShot_, false, false);
  }
  return *snapShot_;
}

bool TSystemLogCollection::Skipped(TSystemLogItem& item, bool skipHarmless, bool onlyActive) {
  return (skipHarmless && item.IsHarmless()) || (onlyActive && !item.IsActive());
}

void TSystemLogCollection::FillSnapShot(std::vector<std::string>& list, bool skipHarmless, bool onlyActive) {
  for (auto& item : items_) {
    std::vector<std::string> fields;
    if (!Skipped(*item, skipHarmless, onlyActive)) item->AddSnapShotFields(fields);
    list.push_back(base::CommaText(fields));
  }
}

void TSystemLogCollection::FillText(std::vector<std::string>& list, bool skipHarmless, bool onlyActive) {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    list.push_back("[" + std::to_string(i) + "]");
    if (!Skipped(*items_[i], skipHarmless, onlyActive)) items_[i]->AddTextLines(list);
  }
}

void TSystemLogCollection::FillDescriptions(std::vector<std::string>& list, bool skipHarmless,
                                            bool onlyActive) {
  for (auto& item : items_)
    if (!Skipped(*item, skipHarmless, onlyActive)) item->AddDescriptionLines(list);
}

void TSystemLogCollection::FillFileNames(std::vector<std::string>& list, bool skipHarmless, bool onlyActive) {
  for (auto& item : items_)
    if (!Skipped(*item, skipHarmless, onlyActive)) item->AddFileNames(list);
}

void TSystemLogCollection::SaveToStream(std::ostream& out, bool flag) {
  for (auto& item : items_) {
    try {
      item->SaveToStream(out, flag);
    } catch (const std::exception& e) {
      out << "// An error occured while saving this item!" << e.what() << "\r\n";
    }
  }
}

void BuildUsableDrives() {
  auto& k32 = platform::Current().kernel32;
  std::uint8_t first = 2;
  ReadTweak("FloppyVolumeInformation", first);
  const platform::DWORD mask = k32.GetLogicalDrives();
  std::string& drives = Drives();
  drives.clear();
  for (unsigned i = first; i <= 25; ++i) {
    if ((mask & (1u << i)) == 0) continue;
    const char letter = static_cast<char>('A' + i);
    platform::Kernel32::VolumeInformation info;
    const std::u16string root{static_cast<char16_t>(letter), u':', u'\\'};
    if (k32.GetVolumeInformationW(root, info)) drives += letter;
  }
}

const std::string& UsableDrives() { return Drives(); }

bool IsReachableFile(std::string_view path) {
  const std::string& drives = Drives();
  if (drives.empty() || path.empty()) return false;
  char c = path[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return drives.find(c) != std::string::npos;
}

}  // namespace results
