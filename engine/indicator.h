// The Quick Scan indicator base class, its parameters and the process-wide class registry.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Finding kinds; each is also the icon index of the finding in the findings list.
inline constexpr std::int32_t kKindProcess = 0;
inline constexpr std::int32_t kKindFolder = 2;
inline constexpr std::int32_t kKindFile = 3;
inline constexpr std::int32_t kKindKey = 4;
inline constexpr std::int32_t kKindValue = 5;

// Indicator states; each is also the icon index of the indicator's row.
inline constexpr std::uint8_t kStateNotRun = 0;
inline constexpr std::uint8_t kStateFound = 1;
inline constexpr std::uint8_t kStateNothingFound = 2;

// One small cross-view test configured by a parameter string of key=value items. Texts are
// 8-bit strings in the system code page (they may hold zero characters taken from names).
class TRootKitIndicator {
 public:
  // The "virtual constructor": parses the parameter string and reads the OS flags.
  explicit TRootKitIndicator(std::string_view params);
  virtual ~TRootKitIndicator();
  TRootKitIndicator(const TRootKitIndicator&) = delete;
  TRootKitIndicator& operator=(const TRootKitIndicator&) = delete;

  // Text of the "Result" column; the base gives the comma text of the findings.
  virtual std::string ResultText() const;
  // Runs the test. The base resets findings and state; overrides call it first, then test,
  // then set DetailsText and State.
  virtual void RunTest();

  void AddResult(std::u16string_view text, std::int32_t kind);
  void ClearResults();
  std::int32_t ResultKind(std::size_t index) const { return ResultKinds_.at(index); }

  // Value of the first item whose key (text before its first "=") equals `key` ignoring case;
  // empty when there is none.
  std::string Param(std::string_view key) const;
  std::string Description() const { return Param("description"); }

  const std::vector<std::string>& Params() const { return Params_; }
  const std::vector<std::string>& Results() const { return Results_; }
  const std::vector<std::int32_t>& ResultKinds() const { return ResultKinds_; }
  const std::string& DetailsText() const { return DetailsText_; }
  std::uint8_t State() const { return State_; }
  std::uint32_t OSFlags() const { return OSFlags_; }
  bool IsNTFamily() const { return IsNTFamily_; }

 protected:
  // `lead` followed by the last part (after the last "\" or ":") of every result, separated by
  // commas; `none` when there are no results.
  std::string ResultNamesText(std::string_view none, std::string_view lead) const;

  std::vector<std::string> Params_;
  std::vector<std::string> Results_;
  std::vector<std::int32_t> ResultKinds_;
  std::string DetailsText_;
  std::uint8_t State_ = kStateNotRun;
  std::uint32_t OSFlags_ = 0;
  bool IsNTFamily_ = false;
};

// A class reference: the class's name and its virtual constructor.
struct TRootKitIndicatorClass {
  const char* Name;
  std::unique_ptr<TRootKitIndicator> (*Create)(std::string_view params);
};

// The class reference of indicator class T.
template <typename T>
const TRootKitIndicatorClass& IndicatorClassOf(const char* name) {
  static const TRootKitIndicatorClass cls{name,
                                          [](std::string_view params) -> std::unique_ptr<TRootKitIndicator> {
                                            return std::make_unique<T>(params);
                                          }};
  return cls;
}

struct TRootKitIndicatorClassEntry {
  const TRootKitIndicatorClass* IndicatorClass;
  std::string Params;
};
using TRootKitIndicatorClassArray = std::vector<TRootKitIndicatorClassEntry>;

// The process-wide registry: filled once at start-up, read-only afterwards.
TRootKitIndicatorClassArray& RegisteredIndicators();
void RegisterIndicator(const TRootKitIndicatorClass& cls, std::string params);

}  // namespace engine
