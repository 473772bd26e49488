// Indicator base behaviour and the class registry.
#include "engine/indicator.h"

#include "engine/comma_text.h"
#include "engine/os_flags.h"
#include "platform/platform.h"

namespace engine {

TRootKitIndicator::TRootKitIndicator(std::string_view params)
    : Params_(ParseCommaText(params)), OSFlags_(GetOSFlags()), IsNTFamily_(engine::IsNTFamily(OSFlags_)) {}

TRootKitIndicator::~TRootKitIndicator() = default;

std::string TRootKitIndicator::ResultText() const { return CommaText(Results_); }

void TRootKitIndicator::RunTest() {
  ClearResults();
  State_ = kStateNotRun;
}

void TRootKitIndicator::AddResult(std::u16string_view text, std::int32_t kind) {
  Results_.push_back(platform::Current().kernel32.WideCharToMultiByte(platform::CP_ACP, text));
  ResultKinds_.push_back(kind);
}

void TRootKitIndicator::ClearResults() {
  Results_.clear();
  ResultKinds_.clear();
}

std::string TRootKitIndicator::Param(std::string_view key) const {
  auto& k32 = platform::Current().kernel32;
  for (const std::string& item : Params_) {
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    if (k32.CompareStringA(platform::LOCALE_USER_DEFAULT, platform::NORM_IGNORECASE,
                           std::string_view(item).substr(0, eq), key) == platform::CSTR_EQUAL)
      return item.substr(eq + 1);
  }
  return {};
}

TRootKitIndicatorClassArray& RegisteredIndicators() {
  static TRootKitIndicatorClassArray registry;
  return registry;
}

void RegisterIndicator(const TRootKitIndicatorClass& cls, std::string params) {
  RegisteredIndicators().push_back({&cls, std::move(params)});
}

}  // namespace engine
