// Profile-file reader and writer on file contents in memory.
//
// Input: section, key, value, a second section and key, then the contents,
// the first five separated by NUL bytes. An entry stored reads back as given
// (the reader trims blanks and one pair of quotes, so only values without
// those are compared), and storing it leaves every other entry as it was.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/profile_text.h"
#include "support/finding.h"

using sorana::formats::ProfileLookup;
using sorana::formats::ProfileWithEntry;
using sorana::fuzz::Finding;

namespace {

std::string_view NextField(std::string_view& input) {
  size_t nul = input.find('\0');
  std::string_view field = input.substr(0, nul);
  input.remove_prefix(nul == std::string_view::npos ? input.size() : nul + 1);
  return field;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool ReadsBackUnchanged(std::string_view value) {
  if (value.empty()) return true;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  if (blank(value.front()) || blank(value.back())) return false;
  return !(value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
           value.back() == value.front());
}

std::string Describe(std::string_view section, std::string_view key) {
  return "[" + std::string(section) + "] " + std::string(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input = sorana::fuzz::AsText({data, size});
  const std::string_view section = NextField(input);
  const std::string_view key = NextField(input);
  const std::string_view value = NextField(input);
  const std::string_view otherSection = NextField(input);
  const std::string_view otherKey = NextField(input);
  const std::string_view contents = input;

  bool otherFound = false;
  const std::string otherBefore = ProfileLookup(contents, otherSection, otherKey, &otherFound);
  const std::string written = ProfileWithEntry(contents, section, key, value);
  if (written == contents) return 0;  // refused, or already so

  bool found = false;
  const std::string readBack = ProfileLookup(written, section, key, &found);
  if (!found) Finding(Describe(section, key) + " is missing after it was stored");
  if (ReadsBackUnchanged(value) && readBack != value) {
    Finding(Describe(section, key) + " reads back as \"" + readBack + "\", stored \"" + std::string(value) +
            "\"");
  }
  if (!(SameName(section, otherSection) && SameName(key, otherKey))) {
    bool otherFoundAfter = false;
    const std::string otherAfter = ProfileLookup(written, otherSection, otherKey, &otherFoundAfter);
    if (otherFoundAfter != otherFound || otherAfter != otherBefore) {
      Finding("storing " + Describe(section, key) + " changed " + Describe(otherSection, otherKey));
    }
  }
  return 0;
}
