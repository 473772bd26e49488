// Asking before a command changes the machine, and saying which machine it changes.
#pragma once

#include <string>

#include "cli/commands.h"

namespace cli {

// True when the action may go ahead: `yes` given, standard input not a terminal, or the user
// answered y or yes to `question` (asked on standard error).
bool Confirmed(const std::string& question, bool yes);

// Whether this run works on a simulated machine (an image, or the demo image where there is
// no live Windows system), so that a change lasts for this run only.
bool OnSimulatedMachine(const Options& options);

// Said on standard error after a change to a simulated machine.
void NoteSimulatedChange(const Options& options);

}  // namespace cli
