// The registry commands of the console program.
#include "cli/commands.h"

namespace cli {

void AddRegistryCommands(CLI::App& /*app*/, CLI::App& /*show*/) {}

}  // namespace cli
