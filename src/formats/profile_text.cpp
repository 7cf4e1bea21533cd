#include "formats/profile_text.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>

#include "formats/ascii_case.h"
#include "formats/cp932.h"

namespace sorana::formats {

namespace {

// The file is scanned byte-wise in CP932. Line ends, '=', ';', blanks and quotes
// are below 0x40 and so never the second byte of a double-byte character; '['
// and ']' can be, so section names are scanned character by character.
bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Case-insensitive comparison of two CP932 names: single-byte letters fold,
// double-byte characters compare exactly.
bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (IsCp932LeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      ++i;
    } else if (AsciiLower(a[i]) != AsciiLower(b[i])) {
      return false;
    }
  }
  return true;
}

enum class LineKind { Other, Section, Entry };

struct Line {
  size_t begin = 0;  // first byte
  size_t end = 0;    // end of the text, before the line break
  size_t next = 0;   // first byte of the next line
  LineKind kind = LineKind::Other;
  std::string_view name;  // section or key name, trimmed
  size_t valueBegin = 0;  // for entries: first byte after '='
};

Line ParseLine(std::string_view contents, size_t begin) {
  Line line;
  line.begin = begin;
  size_t end = contents.find('\n', begin);
  line.next = end == std::string_view::npos ? contents.size() : end + 1;
  if (end == std::string_view::npos) end = contents.size();
  if (end > begin && contents[end - 1] == '\r') --end;
  line.end = end;

  std::string_view text = Trim(contents.substr(begin, end - begin));
  if (text.empty() || text.front() == ';') return line;
  if (text.front() == '[') {
    size_t i = 1;
    while (i < text.size() && text[i] != ']')
      i += IsCp932LeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
    line.kind = LineKind::Section;
    line.name = Trim(text.substr(1, std::min(i, text.size()) - 1));
    return line;
  }
  size_t eq = text.find('=');
  if (eq == std::string_view::npos) return line;
  line.kind = LineKind::Entry;
  line.name = Trim(text.substr(0, eq));
  line.valueBegin = static_cast<size_t>(text.data() - contents.data()) + eq + 1;
  return line;
}

// Where the first section called `section` is: the line after its header, and
// the end of its last non-blank line. Entries of the section lie in between.
struct SectionSpan {
  bool found = false;
  size_t bodyBegin = 0;
  size_t lastContentEnd = 0;   // end of the last non-blank line's text
  size_t lastContentNext = 0;  // start of the line after it
};

// Calls `onEntry` for each entry line of the first matching section; stops
// when it returns true.
template <typename OnEntry>
SectionSpan ScanSection(std::string_view contents, std::string_view section, OnEntry onEntry) {
  SectionSpan span;
  bool inside = false;
  for (size_t pos = 0; pos < contents.size();) {
    Line line = ParseLine(contents, pos);
    pos = line.next;
    if (line.kind == LineKind::Section) {
      if (inside) break;
      if (NamesEqual(line.name, section)) {
        inside = true;
        span.found = true;
        span.bodyBegin = line.next;
        span.lastContentEnd = line.end;
        span.lastContentNext = line.next;
      }
      continue;
    }
    if (!inside) continue;
    if (!Trim(contents.substr(line.begin, line.end - line.begin)).empty()) {
      span.lastContentEnd = line.end;
      span.lastContentNext = line.next;
    }
    if (line.kind == LineKind::Entry && onEntry(line)) break;
  }
  return span;
}

std::string_view LineBreakOf(std::string_view contents) {
  size_t lf = contents.find('\n');
  if (lf != std::string_view::npos && (lf == 0 || contents[lf - 1] != '\r')) return "\n";
  return "\r\n";  // CR LF for new files, as Windows writes them
}

// A value that cannot be stored on one line, or names that would read back as
// something else, are refused rather than written as a different file.
bool StorableEntry(std::string_view section, std::string_view key, std::string_view value) {
  auto hasBreak = [](std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; };
  if (hasBreak(section) || hasBreak(key) || hasBreak(value)) return false;
  if (section.find(']') != std::string_view::npos || Trim(section) != section) return false;
  std::string_view trimmedKey = Trim(key);
  if (trimmedKey.empty() || trimmedKey != key || key.find('=') != std::string_view::npos) return false;
  return key.front() != '[' && key.front() != ';';
}

// `text` ends with a line break; is the line before it blank?
bool EndsWithBlankLine(std::string_view text) {
  text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  size_t start = text.rfind('\n');
  return Trim(text.substr(start == std::string_view::npos ? 0 : start + 1)).empty();
}

std::string EntryWithCp932(std::string_view contents, const std::string& section, const std::string& key,
                           const std::string& value) {
  std::string_view eol = LineBreakOf(contents);
  std::optional<Line> existing;
  SectionSpan span = ScanSection(contents, section, [&](const Line& line) {
    if (!NamesEqual(line.name, key)) return false;
    existing = line;
    return true;
  });

  std::string out;
  out.reserve(contents.size() + key.size() + value.size() + section.size() + 8);
  if (existing) {
    // Keep everything up to '=' as it is spelled; replace only the value.
    out.append(contents.substr(0, existing->valueBegin));
    out.append(value);
    out.append(contents.substr(existing->end));
  } else if (span.found) {
    // Append after the section's last non-blank line, keeping the blank lines
    // that separate it from the next section.
    std::string entry = key + "=" + value;
    if (span.lastContentNext == contents.size() && !contents.ends_with('\n')) {
      // That line is the last of the file and has no line feed (it may end in
      // a lone CR): end it, then add the entry without one, as the file was.
      out.append(contents);
      out.append(contents.ends_with('\r') ? std::string_view("\n") : eol);
      out.append(entry);
    } else {
      out.append(contents.substr(0, span.lastContentNext));
      out.append(entry);
      out.append(eol);
      out.append(contents.substr(span.lastContentNext));
    }
  } else {
    out.append(contents);
    if (!out.empty()) {
      // End the last line without changing its text: after a lone CR only the
      // line feed is missing.
      if (out.back() != '\n') out.append(out.back() == '\r' ? std::string_view("\n") : eol);
      // A blank line between sections, unless the file already ends with one.
      if (!EndsWithBlankLine(out)) out.append(eol);
    }
    out.append("[").append(section).append("]").append(eol);
    out.append(key).append("=").append(value).append(eol);
  }
  return out;
}

}  // namespace

std::string ProfileLookup(std::string_view contents, std::string_view section, std::string_view key,
                          bool* found) {
  if (found != nullptr) *found = false;
  std::optional<std::string> sectionBytes = Utf8ToCp932(section);
  std::optional<std::string> keyBytes = Utf8ToCp932(key);
  if (!sectionBytes || !keyBytes) return {};

  std::optional<std::string_view> raw;
  ScanSection(contents, *sectionBytes, [&](const Line& line) {
    if (!NamesEqual(line.name, *keyBytes)) return false;
    raw = Trim(contents.substr(line.valueBegin, line.end - line.valueBegin));
    return true;
  });
  if (!raw) return {};
  std::string_view value = *raw;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  std::optional<std::string> utf8 = Cp932ToUtf8(value);
  if (!utf8) return {};  // bytes that are no CP932 text read as a missing entry
  if (found != nullptr) *found = true;
  return *utf8;
}

std::optional<std::string> ProfileWithStoredEntry(std::string_view contents, std::string_view section,
                                                  std::string_view key, std::string_view value) {
  std::optional<std::string> s = Utf8ToCp932(section);
  std::optional<std::string> k = Utf8ToCp932(key);
  std::optional<std::string> v = Utf8ToCp932(value);
  if (!s || !k || !v || !StorableEntry(*s, *k, *v)) return std::nullopt;
  return EntryWithCp932(contents, *s, *k, *v);
}

std::string ProfileWithEntry(std::string_view contents, std::string_view section, std::string_view key,
                             std::string_view value) {
  return ProfileWithStoredEntry(contents, section, key, value).value_or(std::string(contents));
}

std::optional<int> ProfileNumber(std::string_view text) {
  int base = 10;
  bool negative = false;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  unsigned long long magnitude = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (base == 16) {
    // Hexadecimal texts name the bit pattern: 0xFFFFFFFF is -1, as on Windows.
    if (magnitude > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    return static_cast<int>(static_cast<uint32_t>(magnitude));
  }
  if (negative) {
    if (magnitude > static_cast<unsigned long long>(std::numeric_limits<int>::max()) + 1) return std::nullopt;
    return static_cast<int>(-static_cast<long long>(magnitude));
  }
  if (magnitude > static_cast<unsigned long long>(std::numeric_limits<int>::max())) return std::nullopt;
  return static_cast<int>(magnitude);
}

}  // namespace sorana::formats
