// Fuzzes the native folder listing's own walk: NtQueryDirectoryFile answers whatever the input says.
#include <cstddef>
#include <cstdint>

#include "files/file_list.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/sim_with_hostile_ntdll.h"

// Input: one byte choosing the information level (its value modulo 5; 4 must list nothing) and,
// in its top bit, whether dot entries are kept; then the answers to the directory queries
// (see HostileNtdll::NtQueryDirectoryFile). The folder itself opens on the simulated machine.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  auto& sim = fuzz::SharedMachine([](sim::MachineBuilder& b) { b.Folder(u"C:\\dir"); });
  sim.ntdll.answers = fuzz::InputReader(fuzz::Bytes(data + 1, size - 1));
  sim.ntdll.hostileDirectories = true;

  files::TNTFileEnumerator e;
  e.InformationLevel = static_cast<std::uint8_t>((data[0] & 0x7F) % 5);
  e.IncludeDotEntries = (data[0] & 0x80) != 0;
  e.Enumerate(u"C:\\dir");

  if (e.InformationLevel > 3) fuzz::Check(e.Count() == 0, "entries listed at an unknown level");
  for (const auto& entry : e.Entries) {
    fuzz::Check(entry.Name.size() <= 260, "name longer than 260 characters");
    fuzz::Check(entry.ShortName.size() <= 12, "short name longer than 12 characters");
    if (!e.IncludeDotEntries) fuzz::Check(entry.Name != u"." && entry.Name != u"..", "a dot entry was kept");
  }
  return 0;
}
