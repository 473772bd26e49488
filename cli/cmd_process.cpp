// The process commands of the console program: show process PID.
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/text.h"
#include "cli/commands.h"
#include "processes/process_details.h"

namespace cli {
namespace {

std::string Hex8(std::uint64_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%08llX", static_cast<unsigned long long>(v));
  return buf;
}

std::string Narrow(const char* s, std::size_t max) {
  std::size_t n = 0;
  while (n < max && s[n] != '\0') ++n;
  return app::Utf8FromCodePage(std::string_view(s, n));
}

nlohmann::json Json(const processes::TProcessDetails& d) {
  nlohmann::json threads = nlohmann::json::array(), modules = nlohmann::json::array(),
                 heaps = nlohmann::json::array();
  for (const auto& t : d.Threads)
    threads.push_back({{"id", t.th32ThreadID},
                       {"processId", t.th32OwnerProcessID},
                       {"usage", t.cntUsage},
                       {"basePriority", t.tpBasePri},
                       {"deltaPriority", t.tpDeltaPri},
                       {"flags", Hex8(t.dwFlags)}});
  for (const auto& m : d.Modules)
    modules.push_back({{"id", m.th32ModuleID},
                       {"processId", m.th32ProcessID},
                       {"module", Narrow(m.szModule, sizeof m.szModule)},
                       {"globalUsage", m.GlblcntUsage},
                       {"processUsage", m.ProccntUsage},
                       {"baseAddress", Hex8(m.modBaseAddr)},
                       {"baseSize", Hex8(m.modBaseSize)},
                       {"path", Narrow(m.szExePath, sizeof m.szExePath)}});
  for (const auto& h : d.Heaps)
    heaps.push_back({{"id", h.th32HeapID}, {"processId", h.th32ProcessID}, {"flags", Hex8(h.dwFlags)}});
  return {{"processId", d.ProcessID},
          {"imageName", app::Utf8(d.ImageName)},
          {"nativeImageName", app::Utf8(d.NativeImageName)},
          {"threads", std::move(threads)},
          {"modules", std::move(modules)},
          {"heaps", std::move(heaps)}};
}

void Text(const processes::TProcessDetails& d, std::ostream& out) {
  const auto orQ = [](const std::u16string& s) {
    return s.empty() ? std::string("?") : app::ShowZeros(app::Utf8(s));
  };
  out << "Process ID:   " << d.ProcessID << "\n"
      << "Image name:   " << orQ(d.ImageName) << "\n"
      << "Native image: " << orQ(d.NativeImageName) << "\n";
  out << "\nThreads (" << d.Threads.size() << ")\n  ID\tProcID\tUsage\tBase Prio\tDelta Prio\tFlags\n";
  for (const auto& t : d.Threads)
    out << "  " << t.th32ThreadID << "\t" << t.th32OwnerProcessID << "\t" << t.cntUsage << "\t" << t.tpBasePri
        << "\t" << t.tpDeltaPri << "\t" << Hex8(t.dwFlags) << "\n";
  out << "\nModules (" << d.Modules.size()
      << ")\n  ID\tProcID\tModule\tGlobal Usage\tModul Usage\tBase Address\tBase Size\tExecutable Path\n";
  for (const auto& m : d.Modules)
    out << "  " << m.th32ModuleID << "\t" << m.th32ProcessID << "\t" << Narrow(m.szModule, sizeof m.szModule)
        << "\t" << m.GlblcntUsage << "\t" << m.ProccntUsage << "\t" << Hex8(m.modBaseAddr) << "\t"
        << Hex8(m.modBaseSize) << "\t" << Narrow(m.szExePath, sizeof m.szExePath) << "\n";
  out << "\nHeaps (" << d.Heaps.size() << ")\n  ID\tProcID\tFlags\n";
  for (const auto& h : d.Heaps)
    out << "  " << h.th32HeapID << "\t" << h.th32ProcessID << "\t" << Hex8(h.dwFlags) << "\n";
}

}  // namespace

void AddProcessCommands(CLI::App& /*app*/, CLI::App& show, CLI::App& /*remove*/) {
  static Options options;
  static std::uint32_t pid = 0;
  auto* cmd = show.add_subcommand("process", "image names, threads, modules and heaps of one process");
  cmd->add_option("PID", pid, "process ID")->required();
  AddCommonOptions(*cmd, options);
  SetAction(*cmd, options, [](const Options& o) {
    const processes::TProcessDetails d = processes::LoadProcessDetails(pid);
    // Neither opened nor owning a thread: nothing is there to show.
    if (!d.Opened && d.Threads.empty()) {
      std::cerr << "umbrascopec: process " << pid << ": no such process, or it cannot be opened\n";
      return kExitError;
    }
    if (o.json)
      std::cout << Json(d).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    else
      Text(d, std::cout);
    return kExitClean;
  });
}

}  // namespace cli
