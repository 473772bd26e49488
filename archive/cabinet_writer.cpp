// The cabinet writer over the platform's cabinet interface.
#include "archive/cabinet_writer.h"

#include <cstdio>

namespace archive {
namespace {

std::string CabinetErrorText(int operation, int type) {
  char text[64];
  std::snprintf(text, sizeof text, "Cabinet error %d (type %d)", operation, type);
  return text;
}

}  // namespace

ECabinetError::ECabinetError(int operation, int type)
    : std::runtime_error(CabinetErrorText(operation, type)), operation_(operation), type_(type) {}

}  // namespace archive
