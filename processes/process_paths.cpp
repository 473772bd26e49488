// Resolves stored process and module file names to full paths. Until the path macros are part
// of this library the stored name is answered as it stands.
#include "processes/process_model.h"

namespace processes {

std::string ResolveProcessFileName(std::string_view stored) { return std::string(stored); }

}  // namespace processes
