// A Windows host has no second HTTP client: the session hands the system's one to the machine.
#include "platform/sim/sim_http.h"

namespace sim {
namespace {

class NoHttp final : public platform::Http {
 public:
  platform::DWORD GetLastError() override { return platform::ERROR_CALL_NOT_IMPLEMENTED; }
  platform::Handle InternetOpenA(std::string_view, platform::DWORD, std::optional<std::string_view>,
                                 std::optional<std::string_view>, platform::DWORD) override {
    return platform::kNullHandle;
  }
  platform::Handle InternetConnectA(platform::Handle, std::string_view, std::uint16_t,
                                    std::optional<std::string_view>, std::optional<std::string_view>,
                                    platform::DWORD, platform::DWORD) override {
    return platform::kNullHandle;
  }
  platform::Handle HttpOpenRequestA(platform::Handle, std::string_view, std::string_view,
                                    std::optional<std::string_view>, std::optional<std::string_view>,
                                    platform::DWORD) override {
    return platform::kNullHandle;
  }
  bool HttpSendRequestA(platform::Handle, std::string_view, std::span<const std::byte>) override {
    return false;
  }
  bool HttpQueryInfoA(platform::Handle, platform::DWORD, std::span<std::byte>, platform::DWORD&) override {
    return false;
  }
  bool InternetReadFile(platform::Handle, std::span<std::byte>, platform::DWORD&) override { return false; }
  bool InternetCloseHandle(platform::Handle) override { return false; }
};

}  // namespace

std::unique_ptr<platform::Http> MakeHostHttp() { return std::make_unique<NoHttp>(); }

}  // namespace sim
