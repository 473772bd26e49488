// Fuzzes the system image loader: any text must load or be refused with an image error.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "platform/sim/image_loader.h"

// Input: the image text. The loader promises one kind of refusal, whose message names the file
// and the JSON path; any other exception would reach the user without either.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const auto machine = sim::LoadImage(text, "fuzz.json");
  } catch (const sim::ImageError& e) {
    const std::string_view what = e.what();
    if (what.substr(0, 11) != "fuzz.json: ") {
      std::fprintf(stderr, "image error without the file name: %s\n", e.what());
      std::abort();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "the loader let another exception out: %s\n", e.what());
    std::abort();
  }
  return 0;
}
