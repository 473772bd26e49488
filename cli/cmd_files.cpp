// The files commands of the console program.
#include "cli/commands.h"

namespace cli {

void AddFileCommands(CLI::App& /*app*/, CLI::App& /*show*/) {}

}  // namespace cli
