// Fuzzes the SDDL splitting, the token names and the descriptor tree over hostile descriptor text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/security_text.h"
#include "platform/sim/builder.h"
#include "platform/sim/sim_platform.h"
#include "tests/fuzz/fuzz_check.h"

// Input: the SDDL text, any bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The tree looks accounts up: one simulated machine serves every input.
  static sim::ScopedSimMachine* const machine = new sim::ScopedSimMachine(sim::MachineBuilder().Build());
  (void)machine;
  const std::string_view sddl(reinterpret_cast<const char*>(data), size);

  const auto parts = base::SplitSecurityDescriptorString(sddl);
  // The entries are the text from the first "(" on, cut after each ")": nothing lost or added.
  std::string joined;
  for (std::size_t i = 0; i < parts.Entries.size(); ++i) {
    const std::string& e = parts.Entries[i];
    fuzz::Check(!e.empty(), "empty entry");
    const auto close = e.find(')');
    fuzz::Check(close == std::string::npos ? i + 1 == parts.Entries.size() : close + 1 == e.size(),
                "an entry not cut after its first \")\"");
    joined += e;
  }
  const auto open = sddl.find('(');
  fuzz::Check(joined == (open == std::string_view::npos ? std::string_view() : sddl.substr(open)),
              "entries are not the rest of the text");
  fuzz::Check(parts.PartLetter.size() + parts.PartFlags.size() <= size, "head longer than the text");

  std::size_t accounts = 0;
  for (const auto& e : parts.Entries) {
    const auto f = base::SplitAceString(e);
    const std::size_t fieldBytes = f.Type.size() + f.Flags.size() + f.Rights.size() + f.ObjectGuid.size() +
                                   f.InheritGuid.size() + f.Account.size();
    fuzz::Check(fieldBytes <= e.size(), "fields longer than their entry");
    base::AceTypeName(f.Type);
    base::AceFlagNames(f.Flags);
    base::AceRightNames(f.Rights);
    base::SidAliasName(f.Account);
    ++accounts;
  }
  std::size_t topLevel = 0, nodes = 0;
  base::FillSecurityTree(
      sddl,
      [&](int parent, const std::string&, int) {
        fuzz::Check(parent < static_cast<int>(nodes), "a parent that was never added");
        if (parent < 0) ++topLevel;
        return static_cast<int>(nodes++);
      },
      "", 0, 1, 2);
  fuzz::Check(topLevel == accounts, "not one account node per entry");
  return 0;
}
