// Fuzzes both readers of backup images: the whole-image parser and the stream walk over short reads.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/ads.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// A backup image in memory that hands out at most `chunk` bytes per read, as backup reads may.
// A skip past the end skips what is there and fails, as BackupSeek does.
class ChunkedSource final : public files::TBackupSource {
 public:
  ChunkedSource(std::span<const std::byte> image, std::size_t chunk) : image_(image), chunk_(chunk) {}

  bool Read(std::span<std::byte> buffer, std::size_t& got) override {
    got = std::min({buffer.size(), chunk_, image_.size() - at_});
    std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(at_), got, buffer.begin());
    at_ += got;
    return true;
  }
  bool Seek(std::uint64_t count) override {
    const std::size_t left = image_.size() - at_;
    if (count > left) {
      at_ = image_.size();
      return false;
    }
    at_ += static_cast<std::size_t>(count);
    return true;
  }

 private:
  std::span<const std::byte> image_;
  std::size_t chunk_;
  std::size_t at_ = 0;
};

struct Seen {
  std::uint32_t id, attributes, nameSize;
  std::uint64_t size;
  std::u16string name;
  bool operator==(const Seen&) const = default;
};

}  // namespace

// Input: one byte giving the largest read (1 to 255; 0: reads as large as asked), then the image.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t chunk = data[0] == 0 ? SIZE_MAX : data[0];
  const auto image = fuzz::Bytes(data + 1, size - 1);

  std::vector<Seen> parsed;
  for (const auto& s : files::ParseBackupImage(image)) {
    fuzz::Check(s.Name.size() * 2 <= s.Header.NameSize && s.Header.NameSize - s.Name.size() * 2 <= 1,
                "name not decoded at its counted length");
    parsed.push_back({s.Header.Id, s.Header.Attributes, s.Header.NameSize, s.Header.Size, s.Name});
  }

  ChunkedSource source(image, chunk);
  std::vector<Seen> walked;
  files::WalkBackupStreams(source, [&](const files::TBackupStreamHeader& h, std::u16string_view name) {
    walked.push_back({h.Id, h.Attributes, h.NameSize, h.Size, std::u16string(name)});
  });
  // However the reads are cut, the walk delivers what the whole-image parser finds (names
  // longer than any stream can have end the walk, and only images that large can hold one).
  if (image.size() <= 65534) fuzz::Check(walked == parsed, "the walk and the image parser disagree");
  return 0;
}
