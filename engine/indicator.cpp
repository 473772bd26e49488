// Indicator base behaviour and the class registry.
#include "engine/indicator.h"

#include "base/comma_text.h"
#include "base/os_flags.h"
#include "platform/platform.h"

namespace engine {

TRootKitIndicator::TRootKitIndicator(std::string_view params)
    : Params_(base::ParseCommaText(params)),
      OSFlags_(base::GetOSFlags()),
      IsNTFamily_(base::IsNTFamily(OSFlags_)) {}

TRootKitIndicator::~TRootKitIndicator() = default;

std::string TRootKitIndicator::ResultText() const { return base::CommaText(Results_); }

std::string TRootKitIndicator::ResultNamesText(std::string_view none, std::string_view lead) const {
  if (Results_.empty()) return std::string(none);
  std::string text(lead);
  for (std::size_t i = 0; i < Results_.size(); ++i) {
    const std::string& r = Results_[i];
    const std::size_t cut = r.find_last_of("\\:");
    if (i > 0) text += ",";
    text += cut == std::string::npos ? r : r.substr(cut + 1);
  }
  return text;
}

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
