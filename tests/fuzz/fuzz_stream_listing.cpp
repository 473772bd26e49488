// Fuzzes the stream listing's native route (no backup reads): the stream query answers what the input says.
#include <cstddef>
#include <cstdint>

#include "files/ads.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/sim_with_hostile_ntdll.h"

// Input: the answers to the stream queries (see HostileNtdll::NtQueryInformationFile). The file
// itself opens on the simulated machine.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto& sim = fuzz::SharedMachine([](sim::MachineBuilder& b) {
    b.File(u"C:\\f.txt", "data");
    b.machine().system.backupRead = false;  // as under Wine: streams come from the native query
  });
  sim.ntdll.answers = fuzz::InputReader(fuzz::Bytes(data, size));
  sim.ntdll.hostileStreams = true;
  files::TFileADSList list;
  list.Refresh(std::u16string_view(u"C:\\f.txt"), files::TFileADSList::kAllKinds);
  sim.ntdll.hostileStreams = false;
  // The native query knows data streams only: the unnamed one and named ones.
  for (int i = 0; i < list.Count(); ++i)
    fuzz::Check(list.Items(i).StreamID == files::siStandard || list.Items(i).StreamID == files::siAlternate,
                "a stream kind the native query cannot report");
  return 0;
}
