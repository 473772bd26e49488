// Built-in path whitelists of the deep file scanner, stored without drive letters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace files {

// A sorted, duplicate-free, case-insensitive list of paths without their first character,
// so one entry covers the same path on every drive.
class TDriveStrippedWhiteList {
 public:
  virtual ~TDriveStrippedWhiteList() = default;

  // Drops the first character (the drive letter) and adds the rest.
  void AddStripped(std::string_view path);
  // Adds an entry as it stands; entries equal ignoring case are stored once.
  void Add(std::string_view entry);
  // True when an entry matches `path` without its first character: entries without "*" or
  // "?" by case-insensitive equality, the others by the wildcard rule.
  bool Matches(std::string_view path) const;

  int Count() const { return static_cast<int>(entries_.size()); }
  const std::string& Strings(int index) const { return entries_.at(static_cast<std::size_t>(index)); }

 private:
  std::vector<std::string> entries_;
};

// Objects whose access-control list locks administrators out for a good reason.
class TACLWhiteList : public TDriveStrippedWhiteList {
 public:
  TACLWhiteList();
};

// Alternate streams with harmless names that vary.
class TADSWhiteList : public TDriveStrippedWhiteList {
 public:
  TADSWhiteList();
};

}  // namespace files
