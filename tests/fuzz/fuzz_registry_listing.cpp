// Fuzzes the native registry class's own walks: enumeration and value queries answer what the input says.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "registry/nt_registry.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/sim_with_hostile_ntdll.h"

// Input: one byte choosing the operation (key names, value names, or reading a value as text,
// as 8 bytes, as a DWORD or as a QWORD), then the answers to the registry queries (see
// HostileNtdll::RegistryAnswer). The key itself opens on the simulated machine.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  auto& sim = fuzz::SharedMachine([](sim::MachineBuilder& b) { b.Key(u"HKLM\\SOFTWARE\\fuzz"); });
  sim.ntdll.hostileRegistry = false;
  registry::TNtRegistry reg;
  reg.RootKey = platform::HKEY_LOCAL_MACHINE;
  fuzz::Check(reg.OpenKey(u"\\SOFTWARE\\fuzz"), "the key of the simulated machine does not open");
  sim.ntdll.answers = fuzz::InputReader(fuzz::Bytes(data + 1, size - 1));
  sim.ntdll.hostileRegistry = true;

  std::vector<std::u16string> names;
  switch (data[0] % 6) {
    case 0:
      reg.GetKeyNames(names);
      break;
    case 1:
      reg.GetValueNames(names);
      break;
    case 2:
      reg.ReadString(u"v");
      break;
    case 3:
      reg.ReadInt64(u"v");
      break;
    default: {
      std::array<std::byte, 8> bytes{};
      registry::TValueBuffer buffer{std::span(bytes).first(data[0] % 6 == 4 ? 4 : 8), {}};
      reg.ReadValue(u"v", data[0] % 6 == 4 ? platform::REG_DWORD : platform::REG_QWORD, buffer);
      break;
    }
  }
  // The walk asks again only for records up to 64 KiB of name, so no name can be longer.
  for (const auto& name : names) fuzz::Check(name.size() <= 32768, "a name longer than the largest record");
  sim.ntdll.hostileRegistry = false;
  return 0;
}
