// The process commands of the console program: show process PID, kill PID.
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/process_properties.h"
#include "app/text.h"
#include "cli/commands.h"
#include "cli/confirm.h"
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

nlohmann::json Json(const app::TProcessProperties& p) {
  const processes::TProcessDetails& d = p.Details;
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
          {"debugged", p.EnvironmentBlockRead ? nlohmann::json(p.Debugged) : nlohmann::json(nullptr)},
          {"sessionId", p.SessionKnown ? nlohmann::json(p.SessionId) : nlohmann::json(nullptr)},
          {"threads", std::move(threads)},
          {"modules", std::move(modules)},
          {"heaps", std::move(heaps)}};
}

void Text(const app::TProcessProperties& p, std::ostream& out) {
  const processes::TProcessDetails& d = p.Details;
  const auto orQ = [](const std::u16string& s) {
    return s.empty() ? std::string("?") : app::ShowZeros(app::Utf8(s));
  };
  out << "Process ID:   " << d.ProcessID << "\n"
      << "Image name:   " << orQ(d.ImageName) << "\n"
      << "Native image: " << orQ(d.NativeImageName) << "\n"
      << "Debugged:     " << app::DebuggedText(p) << "\n"
      << "Session ID:   " << app::SessionText(p) << "\n";
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

void AddProcessCommands(CLI::App& app, CLI::App& show, CLI::App& /*remove*/) {
  static Options options;
  static std::uint32_t pid = 0;
  auto* cmd = show.add_subcommand(
      "process", "image names, debug flag, session, threads, modules and heaps of one process");
  cmd->add_option("PID", pid, "process ID")->required();
  AddCommonOptions(*cmd, options);
  SetAction(*cmd, options, [](const Options& o) {
    const app::TProcessProperties p = app::LoadProcessProperties(pid);
    // Neither opened nor owning a thread: nothing is there to show.
    if (!p.Details.Opened && p.Details.Threads.empty()) {
      std::cerr << "umbrascopec: process " << pid << ": no such process, or it cannot be opened\n";
      return kExitError;
    }
    if (o.json)
      std::cout << Json(p).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    else
      Text(p, std::cout);
    return kExitClean;
  });

  static Options killOptions;
  static std::uint32_t killPid = 0;
  static bool yes = false;
  auto* kill = app.add_subcommand("kill", "end one process (exit code 0)");
  kill->add_option("PID", killPid, "process ID")->required();
  kill->add_flag("--yes", yes, "do not ask first");
  AddCommonOptions(*kill, killOptions, false);
  SetAction(*kill, killOptions, [](const Options& o) {
    const app::TProcessProperties p = app::LoadProcessProperties(killPid);
    std::string shown = std::to_string(killPid);
    if (!p.Details.ImageName.empty()) shown += " (" + app::ShowZeros(app::Utf8(p.Details.ImageName)) + ")";
    if (!Confirmed("End process " + shown + "?", yes)) {
      std::cerr << "umbrascopec: process " << shown << ": not ended (not confirmed)\n";
      return kExitError;
    }
    const app::TProcessTermination t = app::TerminateProcessById(killPid);
    if (!t.Terminated) {
      std::cerr << "umbrascopec: cannot end process " << shown << ": " << t.Message << "\n";
      return kExitError;
    }
    std::cout << "ended process " << shown << "\n";
    NoteSimulatedChange(o);
    return kExitClean;
  });
}

}  // namespace cli
