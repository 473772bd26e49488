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

  std::filesystem::path HostPath(const std::string& name) const {
    std::string rel;
    for (char c : name) rel += c == '\\' ? '/' : c == ':' ? '_' : c;
    return root_ / rel;
  }

  std::int32_t Open(const std::string& fileName, int openFlags, int, int& error) override {
    auto path = HostPath(fileName);
    const char* mode = (openFlags & archive::kOpenCreate) ? "w+b" : (openFlags & 3) ? "r+b" : "rb";
    std::FILE* f = std::fopen(path.string().c_str(), mode);
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
    std::error_code ec;
    if (std::filesystem::remove(HostPath(fileName), ec)) return (error = 0, 0);
    return (error = 2, -1);
  }

  std::size_t OpenCount() const { return files_.size(); }

 private:
  std::filesystem::path root_;
  std::map<std::int32_t, std::FILE*> files_;
  std::int32_t next_ = 3;
};

}  // namespace testing_support
