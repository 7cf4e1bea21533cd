#include "app/lenient_number.h"

#include <charconv>
#include <limits>
#include <string>

namespace sorana::app {

namespace {

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// -?digits*(.digits*)? with at least one digit.
bool IsPlainDecimal(std::string_view text) {
  size_t pos = 0;
  if (pos < text.size() && text[pos] == '-') ++pos;
  bool digits = false;
  while (pos < text.size() && IsDigit(text[pos])) {
    ++pos;
    digits = true;
  }
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    while (pos < text.size() && IsDigit(text[pos])) {
      ++pos;
      digits = true;
    }
  }
  return digits && pos == text.size();
}

}  // namespace

double LenientNumber(std::string_view text) {
  std::string kept;
  for (char ch : text) {
    if (ch == '-' || ch == '.' || IsDigit(ch)) kept += ch;
  }
  if (kept.empty()) return 0;
  if (kept.back() == '-') {
    kept.pop_back();
    kept.insert(kept.begin(), '-');
  }
  if (!IsPlainDecimal(kept)) return 0;
  double value = 0;
  auto [end, ec] = std::from_chars(kept.data(), kept.data() + kept.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too many digits for a double: huge when the whole part is not zero (so a
    // range check still rejects it), else too small to matter.
    bool negative = kept.front() == '-';
    std::string_view whole = std::string_view(kept).substr(negative ? 1 : 0);
    whole = whole.substr(0, whole.find('.'));
    if (whole.find_first_not_of('0') == std::string_view::npos) return 0;
    return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
  }
  if (ec != std::errc() || end != kept.data() + kept.size()) return 0;
  return value;
}

}  // namespace sorana::app
