// Placeholder loader: accepts only the empty image until the full loader lands.
#include "platform/sim/image_loader.h"

#include <fstream>
#include <sstream>

#include "platform/sim/builder.h"

namespace sim {

std::unique_ptr<Machine> LoadImage(std::string_view, const std::string&) {
  MachineBuilder b;
  return b.Build();
}

std::unique_ptr<Machine> LoadImageFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ImageError(path + ": cannot read: No such file or directory");
  std::stringstream ss;
  ss << in.rdbuf();
  return LoadImage(ss.str(), path);
}

}  // namespace sim
