// Strict comma text.
#include "base/comma_text.h"

namespace base {

std::vector<std::string> ParseCommaText(std::string_view text) {
  std::vector<std::string> items;
  if (text.empty()) return items;
  std::size_t i = 0;
  while (true) {
    std::string item;
    if (i < text.size() && text[i] == '"') {
      ++i;
      while (i < text.size()) {
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;  // closing quote
          break;
        }
        item += text[i++];
      }
      while (i < text.size() && text[i] != ',') ++i;  // text after the closing quote is dropped
    } else {
      const std::size_t comma = text.find(',', i);
      const std::size_t end = comma == std::string_view::npos ? text.size() : comma;
      item.assign(text.substr(i, end - i));
      i = end;
    }
    items.push_back(std::move(item));
    if (i >= text.size()) break;
    ++i;                     // the comma
    if (i == text.size()) {  // a trailing comma yields a last, empty item
      items.emplace_back();
      break;
    }
  }
  return items;
}

std::string CommaText(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (k > 0) out += ',';
    const std::string& s = items[k];
    if (s.find_first_of(",\"") == std::string::npos) {
      out += s;
      continue;
    }
    out += '"';
    for (char c : s) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

}  // namespace base
