// A Windows host has no second compressor: the session hands the system's one to the machine.
#include "platform/sim/sim_cabinet.h"

namespace sim {
namespace {

class NoCabinet final : public platform::Cabinet {
 public:
  platform::Handle FCICreate(platform::CabinetErrorRecord& errors, platform::CabinetCallbacks&,
                             const platform::CabinetParameters&) override {
    errors = {platform::FCIERR_ALLOC_FAIL, static_cast<int>(platform::ERROR_CALL_NOT_IMPLEMENTED), true};
    return platform::kNullHandle;
  }
  bool FCIAddFile(platform::Handle, std::string_view, std::string_view, bool, std::uint16_t) override {
    return false;
  }
  bool FCIFlushCabinet(platform::Handle, bool) override { return false; }
  bool FCIFlushFolder(platform::Handle) override { return false; }
  bool FCIDestroy(platform::Handle) override { return false; }
};

}  // namespace

std::unique_ptr<platform::Cabinet> MakeHostCabinet(Machine&) { return std::make_unique<NoCabinet>(); }

}  // namespace sim
