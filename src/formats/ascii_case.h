// The one case rule of the tree: ASCII letters only, as Windows compares the
// names of ANSI texts, profile keys, registry names and HTTP fields. Bytes
// above 0x7F (CP932 or UTF-8) never change.
#pragma once

#include <string>
#include <string_view>

namespace sorana::formats {

constexpr char AsciiUpper(char ch) {
  return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
}
constexpr char AsciiLower(char ch) {
  return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}

inline std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& ch : out) ch = AsciiUpper(ch);
  return out;
}

constexpr bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace sorana::formats
