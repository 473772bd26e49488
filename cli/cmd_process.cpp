// The process commands of the console program.
#include "cli/commands.h"

namespace cli {

void AddProcessCommands(CLI::App& /*app*/, CLI::App& /*show*/) {}

}  // namespace cli
