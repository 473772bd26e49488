// The catalogue of known findings (being built: empty).
#include "results/catalogue.h"

namespace results {

std::string_view ResultInfoIniText() { return {}; }
void TResultInfoCatalogue::LoadCatalogue() {}
void TResultInfoCatalogue::LoadFromText(std::string_view) {}
bool TResultInfoCatalogue::Lookup(std::string_view, std::string&, std::string&) const { return false; }
bool TResultInfoCatalogue::Empty() const { return true; }

}  // namespace results
