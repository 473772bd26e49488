// System log items: files with a name, a size and a lazily computed MD5, and the lists that hold them.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace results {

enum class TSystemLogLegitStatus : std::uint8_t { llsUnknown, llsGood, llsOpen, llsBad };
enum class TSystemLogTargetOS : std::uint8_t { winBit32, winBit64 };

class TSystemLogItem {
 public:
  TSystemLogItem() = default;
  virtual ~TSystemLogItem() = default;
  TSystemLogItem(const TSystemLogItem&) = delete;
  TSystemLogItem& operator=(const TSystemLogItem&) = delete;

  TSystemLogLegitStatus Legit = TSystemLogLegitStatus::llsUnknown;
  TSystemLogTargetOS TargetOS = TSystemLogTargetOS::winBit32;
  std::string Filename;

  std::string CompleteFilename() { return GetCompleteFilename(); }
  // While no MD5 is stored, the size is read again on every call (0 for an unreachable file);
  // once one is stored, the stored size is answered without touching the file.
  std::int64_t Filesize();
  void SetFilesize(std::int64_t size) { size_ = size; }
  // Upper-case hexadecimal; computed through the digest cache on first read, the digest of
  // empty input for an unreachable file, "N/A" after an error.
  std::string MD5();
  void SetMD5(std::string md5) { md5_ = std::move(md5); }

  virtual bool IsHarmless() { return Legit == TSystemLogLegitStatus::llsGood; }
  virtual bool IsActive() { return true; }
  virtual std::string LASSH();
  virtual std::string GetCompleteFilename() { return Filename; }
  virtual std::string LocationPath() { return "<undefined>"; }
  virtual std::string MakroLocation() { return MakroLocationPath() + "<undefined>"; }
  virtual std::string MakroLocationPath() { return "<undefined>"; }
  virtual std::string InfoLocation() { return MakroLocation(); }
  virtual void AddSnapShotFields(std::vector<std::string>&) {}
  virtual void AddTextLines(std::vector<std::string>&) {}
  virtual void AddDescriptionLines(std::vector<std::string>&) {}
  virtual void AddFileNames(std::vector<std::string>&) {}
  // True when one of the item's texts matches the pattern in the given mode, ignoring case.
  virtual bool Matches(std::string_view pattern, int mode);
  virtual void SaveToStream(std::ostream&, bool) {}

 private:
  std::string md5_;
  std::int64_t size_ = 0;
};

class TSystemLogCollection {
 public:
  TSystemLogCollection() = default;
  virtual ~TSystemLogCollection() = default;
  TSystemLogCollection(const TSystemLogCollection&) = delete;
  TSystemLogCollection& operator=(const TSystemLogCollection&) = delete;

  // A new item of the collection's class, carrying the collection's TargetOS.
  TSystemLogItem& Add();
  std::size_t Count() const { return items_.size(); }
  TSystemLogItem& Item(std::size_t index) { return *items_.at(index); }
  void Delete(std::size_t index) { items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index)); }
  void Clear() { items_.clear(); }

  TSystemLogTargetOS TargetOS = TSystemLogTargetOS::winBit32;
  bool LimitToBitSpecific = false;
  std::vector<std::string> OldSnapShot;
  // Built by FillSnapShot (no filters) on first read and kept.
  const std::vector<std::string>& SnapShot();

  virtual std::string LogListHeader() { return "Log"; }
  virtual void FillSnapShot(std::vector<std::string>& list, bool skipHarmless, bool onlyActive);
  virtual void FillText(std::vector<std::string>& list, bool skipHarmless, bool onlyActive);
  virtual void FillDescriptions(std::vector<std::string>& list, bool skipHarmless, bool onlyActive);
  virtual void FillFileNames(std::vector<std::string>& list, bool skipHarmless, bool onlyActive);
  virtual void ReadFromLines(const std::vector<std::string>&) {}
  // Every item in turn; an item that fails leaves an error line and the next one follows.
  virtual void SaveToStream(std::ostream& out, bool flag);

 protected:
  // The item class of the collection.
  virtual std::unique_ptr<TSystemLogItem> NewItem() { return std::make_unique<TSystemLogItem>(); }
  std::vector<std::unique_ptr<TSystemLogItem>> items_;

 private:
  static bool Skipped(TSystemLogItem& item, bool skipHarmless, bool onlyActive);
  std::unique_ptr<std::vector<std::string>> snapShot_;
};

// Start-up: the drive letters log items read files from, from the first one the tweak
// "FloppyVolumeInformation" names (C: by default) to Z:, those with readable volumes.
void BuildUsableDrives();
const std::string& UsableDrives();
// The file is on one of the usable drives.
bool IsReachableFile(std::string_view path);

}  // namespace results
