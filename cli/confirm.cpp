// Asking before a change, and the note that a simulated machine changes for this run only.
#include "cli/confirm.h"

#include <iostream>

#include "cli/host.h"

namespace cli {

bool Confirmed(const std::string& question, bool yes) {
  if (yes || !StandardInputIsTerminal()) return true;
  std::cerr << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
}

bool OnSimulatedMachine(const Options& options) { return options.image.has_value() || !LiveSystemByDefault(); }

void NoteSimulatedChange(const Options& options) {
  if (OnSimulatedMachine(options))
    std::cerr << "umbrascopec: note: this changes the simulated machine for this run only; "
                 "the system image is not changed\n";
}

}  // namespace cli
