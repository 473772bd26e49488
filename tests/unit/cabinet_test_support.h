// Test helpers for cabinets: a reader of the file table, and a file handler over host files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/cabinet_writer.h"

namespace testing_support {

// One CFFILE entry of a cabinet, and the compression of its folder.
struct CabEntry {
  std::string name;  // as stored
  std::uint32_t size = 0;
  std::uint16_t folder = 0, date = 0, time = 0, attributes = 0;
  std::uint16_t compression = 0;
};

inline std::uint32_t Le(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
  if (at + bytes > b.size()) throw std::runtime_error("cabinet cut short");
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
  return v;
}

// The file table of a single cabinet without reserved areas (which is what is written here).
inline std::vector<CabEntry> ReadCabinetEntries(const std::vector<std::uint8_t>& cab) {
  if (cab.size() < 36 || std::string(cab.begin(), cab.begin() + 4) != "MSCF")
    throw std::runtime_error("not a cabinet");
  std::uint32_t filesAt = Le(cab, 16, 4);
  std::uint16_t folders = static_cast<std::uint16_t>(Le(cab, 26, 2));
  std::uint16_t files = static_cast<std::uint16_t>(Le(cab, 28, 2));
  std::uint16_t flags = static_cast<std::uint16_t>(Le(cab, 30, 2));
  if (flags & 4) throw std::runtime_error("reserved areas are not expected");
  std::size_t at = 36;
  if (flags & 1) at += 2 * 256;  // previous cabinet and disk names would follow; not written here
  std::vector<std::uint16_t> compression;
  for (std::uint16_t i = 0; i < folders; ++i, at += 8)
    compression.push_back(static_cast<std::uint16_t>(Le(cab, at + 6, 2)));
  std::vector<CabEntry> out;
  at = filesAt;
  for (std::uint16_t i = 0; i < files; ++i) {
    CabEntry e;
    e.size = Le(cab, at, 4);
    e.folder = static_cast<std::uint16_t>(Le(cab, at + 8, 2));
    e.date = static_cast<std::uint16_t>(Le(cab, at + 10, 2));
    e.time = static_cast<std::uint16_t>(Le(cab, at + 12, 2));
    e.attributes = static_cast<std::uint16_t>(Le(cab, at + 14, 2));
    at += 16;
    while (at < cab.size() && cab[at] != 0) e.name.push_back(static_cast<char>(cab[at++]));
    ++at;
    e.compression = e.folder < compression.size() ? compression[e.folder] : 0xFFFF;
    out.push_back(e);
  }
  return out;
}

// A FILETIME (UTC) as DOS date and time, to two seconds.
inline void DosDateTimeOf(std::uint64_t fileTime, std::uint16_t& date, std::uint16_t& time) {
  std::int64_t seconds = static_cast<std::int64_t>(fileTime / 10000000) - 11644473600;  // since 1970
  std::int64_t days = seconds / 86400, rest = seconds % 86400;
  // Days since 1970-01-01 as a civil date.
  days += 719468;
  std::int64_t era = days / 146097, doe = days - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  std::int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
  std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  date = static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
  time = static_cast<std::uint16_t>(((rest / 3600) << 11) | (((rest / 60) % 60) << 5) | ((rest % 60) / 2));
}

inline std::vector<std::uint8_t> ReadHostFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteHostFile(const std::filesystem::path& p, const std::string& content) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
}

// The interface's file operations over host files below `root`: a name's "\" become folders
// and its ":" a "_", so "C:\x\a.txt" is root/C_/x/a.txt. Errors are the C runtime's.
class HostFileHandler : public archive::TCabinetFileHandler {
 public:
  explicit HostFileHandler(std::filesystem::path root) : root_(std::move(root)) {}
  ~HostFileHandler() override {
    for (auto& [h, f] : files_) std::fclose(f);
  }

  // With an empty root, names are the host's own (a Windows host's paths, in its code page:
  // kept as bytes, never through a path object, which would read them as UTF-8).
  std::string HostName(const std::string& name) const {
    if (root_.empty()) return name;
    std::string rel;
    for (char c : name) rel += c == '\\' ? '/' : c == ':' ? '_' : c;
    return root_.string() + "/" + rel;
  }
  std::filesystem::path HostPath(const std::string& name) const { return HostName(name); }

  std::int32_t Open(const std::string& fileName, int openFlags, int, int& error) override {
    const char* mode = (openFlags & archive::kOpenCreate) ? "w+b" : (openFlags & 3) ? "r+b" : "rb";
    std::FILE* f = std::fopen(HostName(fileName).c_str(), mode);
    if (f == nullptr) return (error = 2, -1);  // ENOENT
    error = 0;
    files_[next_] = f;
    return next_++;
  }
  std::uint32_t Read(std::int32_t h, void* buffer, std::uint32_t count, int& error) override {
    auto it = files_.find(h);
    if (it == files_.end()) return (error = -1, 0);
    error = 0;
    return static_cast<std::uint32_t>(std::fread(buffer, 1, count, it->second));
  }
  std::uint32_t Write(std::int32_t h, const void* buffer, std::uint32_t count, int& error) override {
    auto it = files_.find(h);
    if (it == files_.end()) return (error = -1, 0);
    error = 0;
    return static_cast<std::uint32_t>(std::fwrite(buffer, 1, count, it->second));
  }
  int Close(std::int32_t h, int& error) override {
    error = 0;
    auto it = files_.find(h);
    if (it != files_.end()) {
      std::fclose(it->second);
      files_.erase(it);
    }
    return 0;
  }
  std::int32_t Seek(std::int32_t h, std::int32_t distance, int origin, int& error) override {
    auto it = files_.find(h);
    if (it == files_.end()) return (error = -1, 0);
    if (std::fseek(it->second, distance, origin) != 0) return (error = 22, -1);
    error = 0;
    return static_cast<std::int32_t>(std::ftell(it->second));
  }
  int Delete(const std::string& fileName, int& error) override {
    if (std::remove(HostName(fileName).c_str()) == 0) return (error = 0, 0);
    return (error = 2, -1);
  }

  std::size_t OpenCount() const { return files_.size(); }

 private:
  std::filesystem::path root_;
  std::map<std::int32_t, std::FILE*> files_;
  std::int32_t next_ = 3;
};

}  // namespace testing_support
