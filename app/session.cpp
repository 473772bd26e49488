// Session set-up and the start-up steps.
#include "app/session.h"

#include "base/os_flags.h"
#include "engine/indicator.h"
#include "engine/nt_files_indicator.h"
#include "engine/process_indicators.h"
#include "engine/registry_indicator.h"
#include "platform/sim/image_loader.h"
#include "platform/sim/sim_platform.h"
#include "processes/process_names.h"
#include "results/digests.h"
#include "results/log_items.h"
#include "results/path_macros.h"
#ifdef _WIN32
#include "platform/win32/win32_platform.h"
#endif

namespace app {

Session::Session(std::unique_ptr<sim::SimPlatform> sim, platform::Platform& p)
    : sim_(std::move(sim)), platform_(p), scope_(p) {}

Session::~Session() = default;

template <typename Load>
std::unique_ptr<Session> Session::Simulated(Load load) {
  std::unique_ptr<sim::Machine> machine;
  try {
    machine = load();
  } catch (const sim::ImageError& e) {
    throw MachineError(e.what());
  }
  auto simulated = std::make_unique<sim::SimPlatform>(std::move(machine), HostCabinet(), HostHttp());
  auto& p = simulated->platform();
  return std::unique_ptr<Session>(new Session(std::move(simulated), p));
}

std::unique_ptr<Session> Session::Open(const std::optional<std::string>& imagePath, std::ostream& err) {
  if (imagePath) return Simulated([&] { return sim::LoadImageFile(*imagePath); });
#ifdef _WIN32
  (void)err;
  return std::unique_ptr<Session>(new Session(nullptr, win32::RealPlatform()));
#else
  err << "umbrascopec: no --image given: scanning the built-in demo image\n";
  return Simulated([] { return sim::LoadImage(kDemoImageJson, "<built-in demo image>"); });
#endif
}

platform::Cabinet* HostCabinet() {
#ifdef _WIN32
  // The system's compressor writes the machine's cabinets; their files go through the machine.
  return &win32::RealPlatform().cabinet;
#else
  return nullptr;
#endif
}

platform::Http* HostHttp() {
#ifdef _WIN32
  // The machine's update checks go through the system's own HTTP library.
  return &win32::RealPlatform().http;
#else
  return nullptr;
#endif
}

void RunStartup() {
  base::ReadRunningVersion();

  // --- files start-up tables ---

  // --- registry start-up tables ---
  results::BuildPathMacros();

  // --- processes start-up tables ---
  results::ResetDigestCache();
  results::BuildUsableDrives();
  processes::BindProcessImageFileName();

  // The indicator registry is cleared, then receives its rows in Quick Scan order.
  engine::RegisteredIndicators().clear();
  // --- files indicators (rows 1 and 2) ---
  const auto& ntFiles = engine::IndicatorClassOf<engine::TRootKitIndicatorNTFiles>("TRootKitIndicatorNTFiles");
  engine::RegisterIndicator(ntFiles, "filepath=<$WINDIR>\\,description=Files in Windows folder");
  engine::RegisterIndicator(ntFiles, "filepath=<$SYSDIR>\\,description=Files in System folder");
  // --- registry indicators (rows 3 and 4) ---
  const auto& registryClass =
      engine::IndicatorClassOf<engine::TRootKitIndicatorRegistry>("TRootKitIndicatorRegistry");
  engine::RegisterIndicator(registryClass,
                            "description=Global run entries,rootkey=HKEY_LOCAL_MACHINE,"
                            "keypath=\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\");
  engine::RegisterIndicator(registryClass,
                            "description=Winlogon entries,rootkey=HKEY_LOCAL_MACHINE,"
                            "keypath=\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\");
  // --- process indicators (rows 5 and 6) ---
  engine::RegisterProcessIndicators();
}

}  // namespace app
