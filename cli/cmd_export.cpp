// The export command: registry-editor text of a key, for help requests.
#include "cli/commands.h"

namespace cli {

void AddExportCommands(CLI::App& /*app*/) {}

}  // namespace cli
