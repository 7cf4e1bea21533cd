// Windows wildcard matching of names, by the rule the whole system shares, so
// that FindFiles lists the same entries on every host.
#include "formats/wildcard_match.h"

#include "formats/ascii_case.h"

namespace sorana::formats {

namespace {

// Length of the UTF-8 character starting with `lead` (1 for stray bytes).
size_t Utf8Length(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

bool GlobMatch(std::string_view name, std::string_view pattern) {
  // Iterative matching with one back-tracking point for the last "*".
  size_t n = 0, p = 0;
  size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += Utf8Length(static_cast<unsigned char>(name[n]));
    } else if (p < pattern.size() && AsciiUpper(pattern[p]) == AsciiUpper(name[n])) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      starN += Utf8Length(static_cast<unsigned char>(name[starN]));
      n = starN;
    } else {
      return false;
    }
  }
  if (n > name.size()) return false;  // a "?" ran past a truncated character
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
  if (GlobMatch(name, pattern)) return true;
  // "x.*" also matches a name without any extension ("*.*" thus matches every name).
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*") {
    return GlobMatch(name, pattern.substr(0, pattern.size() - 2));
  }
  return false;
}

}  // namespace sorana::formats
