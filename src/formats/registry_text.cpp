#include "formats/registry_text.h"

#include <cstdio>

#include "formats/ascii_case.h"
#include "formats/utf16.h"

namespace sorana::formats::registry_text {

namespace {

// ---- Text of Wine's registry files -------------------------------------------
// Wine writes names and strings with C-like escapes: "\\" for a backslash, a
// backslash before the quote characters of the context ('"' in values, '[' and
// ']' in key names), "\x" + hex for every UTF-16 code above 127 (four digits
// when a hex digit follows), and C or octal escapes below 32.

bool IsHexDigit(char ch) {
  return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

int HexValue(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  return (ch | 0x20) - 'a' + 10;
}

}  // namespace

std::optional<std::string> Escape(std::string_view utf8, std::string_view quoted) {
  std::optional<std::u16string> units = Utf8ToUtf16(utf8);
  if (!units) return std::nullopt;
  static constexpr char kControlEscapes[] = ".......abtnvfr.............e....";
  std::string out;
  out.reserve(utf8.size() + 8);
  char buffer[16];
  for (size_t i = 0; i < units->size(); ++i) {
    char16_t unit = (*units)[i];
    char16_t next = i + 1 < units->size() ? (*units)[i + 1] : 0;
    if (unit > 127) {
      bool hexFollows = next != 0 && next < 128 && IsHexDigit(static_cast<char>(next));
      std::snprintf(buffer, sizeof buffer, hexFollows ? "\\x%04x" : "\\x%x", static_cast<unsigned>(unit));
      out += buffer;
    } else if (unit < 32) {
      if (kControlEscapes[unit] != '.') {
        out += '\\';
        out += kControlEscapes[unit];
      } else {
        bool octalFollows = next >= '0' && next <= '7';
        std::snprintf(buffer, sizeof buffer, octalFollows ? "\\%03o" : "\\%o", static_cast<unsigned>(unit));
        out += buffer;
      }
    } else {
      auto ch = static_cast<char>(unit);
      if (ch == '\\' || quoted.find(ch) != std::string_view::npos) out += '\\';
      out += ch;
    }
  }
  return out;
}

namespace {

struct Unescaped {
  std::string text;  // UTF-8
  size_t end;        // position after the closing character
};

// Reads escaped text from `pos` up to the unescaped `endChar`. Bytes above 127
// that are not escaped are taken as UTF-8. nullopt when `endChar` never comes
// or the text is no valid Unicode.
std::optional<Unescaped> Unescape(std::string_view line, size_t pos, char endChar) {
  std::u16string units;
  bool ascii = true;
  while (pos < line.size() && line[pos] != endChar) {
    char ch = line[pos];
    if (static_cast<unsigned char>(ch) >= 0x80) {
      size_t end = pos;
      while (end < line.size() && static_cast<unsigned char>(line[end]) >= 0x80) ++end;
      std::optional<std::u16string> run = Utf8ToUtf16(line.substr(pos, end - pos));
      if (!run) return std::nullopt;
      units += *run;
      ascii = false;
      pos = end;
      continue;
    }
    ++pos;
    if (ch != '\\') {
      units += static_cast<char16_t>(ch);
      continue;
    }
    if (pos >= line.size()) return std::nullopt;
    char esc = line[pos++];
    char16_t unit = static_cast<unsigned char>(esc);  // any other character stands for itself
    static constexpr std::string_view kLetters = "abefnrtv";
    static constexpr std::string_view kControls = "\a\b\x1b\f\n\r\t\v";
    if (size_t letter = kLetters.find(esc); letter != std::string_view::npos) {
      unit = static_cast<unsigned char>(kControls[letter]);
    } else if (esc == 'x' && pos < line.size() && IsHexDigit(line[pos])) {
      unit = 0;
      for (int k = 0; k < 4 && pos < line.size() && IsHexDigit(line[pos]); ++k) {
        unit = static_cast<char16_t>(unit * 16 + HexValue(line[pos++]));
      }
    } else if (esc >= '0' && esc <= '7') {
      unit = static_cast<char16_t>(esc - '0');
      for (int k = 0; k < 2 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++k) {
        unit = static_cast<char16_t>(unit * 8 + (line[pos++] - '0'));
      }
    }
    ascii = ascii && unit < 0x80;
    units += unit;
  }
  if (pos >= line.size()) return std::nullopt;
  Unescaped out;
  out.end = pos + 1;
  if (ascii) {
    out.text.assign(units.begin(), units.end());
  } else {
    std::optional<std::string> utf8 = Utf16ToUtf8(units);
    if (!utf8) return std::nullopt;
    out.text = std::move(*utf8);
  }
  return out;
}

// ---- Lines, keys and values of a file ------------------------------------------

struct Line {
  size_t begin;
  size_t end;   // before the line break
  size_t next;  // start of the next line
};

// One logical line: a line ending in a backslash continues on the next one.
Line LogicalLineAt(std::string_view text, size_t begin) {
  size_t pos = begin;
  while (true) {
    size_t lf = text.find('\n', pos);
    size_t end = lf == std::string_view::npos ? text.size() : lf;
    size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
    size_t trimmed = end;
    if (trimmed > pos && text[trimmed - 1] == '\r') --trimmed;
    if (trimmed > pos && text[trimmed - 1] == '\\' && next < text.size()) {
      pos = next;
      continue;
    }
    return {begin, trimmed, next};
  }
}

struct KeyBlock {
  std::string name;               // decoded, as spelled in the file
  size_t bodyBegin = 0;           // after the header line
  size_t end = 0;                 // start of the next header, or the end of the file
  size_t insertAt = 0;            // after the block's last non-blank line
  bool insertNeedsBreak = false;  // that line ends the file without a line break
};

// Calls `visit(name, headerLine)` for each key header; stops when it returns true.
template <typename Visit>
void ForEachKeyHeader(std::string_view text, Visit visit) {
  for (size_t pos = 0; pos < text.size();) {
    Line line = LogicalLineAt(text, pos);
    pos = line.next;
    if (text[line.begin] != '[') continue;
    std::optional<Unescaped> name = Unescape(text.substr(0, line.end), line.begin + 1, ']');
    if (name && visit(name->text, line)) return;
  }
}

KeyBlock BlockAfterHeader(std::string_view text, std::string name, const Line& header) {
  KeyBlock block;
  block.name = std::move(name);
  block.bodyBegin = header.next;
  // A line that ends the file without a line feed (it may end in a lone CR)
  // must be ended before anything is added after it.
  auto endsUnbroken = [&](const Line& line) { return line.next == text.size() && !text.ends_with('\n'); };
  block.insertAt = header.next;
  block.insertNeedsBreak = endsUnbroken(header);
  size_t pos = header.next;
  while (pos < text.size()) {
    Line line = LogicalLineAt(text, pos);
    if (text[line.begin] == '[') break;
    if (line.end > line.begin) {
      block.insertAt = line.next;
      block.insertNeedsBreak = endsUnbroken(line);
    }
    pos = line.next;
  }
  block.end = pos;
  return block;
}

struct ValueLine {
  Line line;
  size_t dataPos;  // after '='
};

std::optional<ValueLine> FindValue(std::string_view text, const KeyBlock& block, std::string_view name) {
  for (size_t pos = block.bodyBegin; pos < block.end;) {
    Line line = LogicalLineAt(text, pos);
    pos = line.next;
    std::string_view body = text.substr(0, line.end);
    std::string valueName;
    size_t after;
    if (text[line.begin] == '@') {
      after = line.begin + 1;
    } else if (text[line.begin] == '"') {
      std::optional<Unescaped> parsed = Unescape(body, line.begin + 1, '"');
      if (!parsed) continue;
      valueName = std::move(parsed->text);
      after = parsed->end;
    } else {
      continue;
    }
    if (after >= body.size() || body[after] != '=') continue;
    if (SameIgnoringAsciiCase(valueName, name)) return ValueLine{line, after + 1};
  }
  return std::nullopt;
}

std::string ValueNameText(std::string_view name, const std::string& escaped) {
  return name.empty() ? std::string("@") : "\"" + escaped + "\"";
}

std::vector<std::string_view> SplitKeyPath(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('\\', pos);
    if (end == std::string_view::npos) end = path.size();
    if (end > pos) parts.push_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  return parts;
}

std::string JoinKeyPath(const std::vector<std::string_view>& parts) {
  std::string out;
  for (std::string_view part : parts) {
    if (!out.empty()) out += '\\';
    out += part;
  }
  return out;
}

bool IsAncestorOrSelf(std::string_view ancestor, std::string_view path) {
  if (ancestor.size() > path.size() || !SameIgnoringAsciiCase(ancestor, path.substr(0, ancestor.size())))
    return false;
  return ancestor.size() == path.size() || path[ancestor.size()] == '\\';
}

}  // namespace

bool IsWin64(std::string_view systemReg) {
  // The "#arch=" line sits in the header, before the first key.
  size_t firstKey = systemReg.find("\n[");
  size_t arch = systemReg.substr(0, firstKey).find("\n#arch=win64");
  return arch != std::string_view::npos;
}

std::optional<KeyPath> LocateKey(std::string_view text, std::string_view subKey, bool localMachine) {
  std::vector<std::string_view> parts = SplitKeyPath(subKey);
  if (parts.empty()) return std::nullopt;

  // The 32-bit view: HKLM\Software of a win64 prefix is its Wow6432Node.
  if (localMachine && SameIgnoringAsciiCase(parts[0], "Software") &&
      !(parts.size() > 1 && SameIgnoringAsciiCase(parts[1], "Wow6432Node")) && IsWin64(text)) {
    parts.insert(parts.begin() + 1, "Wow6432Node");
  }
  std::string wanted = JoinKeyPath(parts);

  // Spell the path as the file does, as far as its keys exist.
  std::string spelled;
  bool exists = false;
  ForEachKeyHeader(text, [&](const std::string& name, const Line&) {
    if (IsAncestorOrSelf(name, wanted) && name.size() >= spelled.size()) {
      spelled = name;
      exists = name.size() == wanted.size();
    }
    return exists;
  });
  return KeyPath{spelled + wanted.substr(spelled.size()), exists};
}

std::optional<std::string> ReadString(std::string_view text, std::string_view storedPath,
                                      std::string_view name) {
  std::optional<std::string> result;
  ForEachKeyHeader(text, [&](const std::string& keyName, const Line& header) {
    if (!SameIgnoringAsciiCase(keyName, storedPath)) return false;
    KeyBlock block = BlockAfterHeader(text, keyName, header);
    std::optional<ValueLine> value = FindValue(text, block, name);
    if (!value) return true;
    std::string_view data = text.substr(0, value->line.end);
    size_t pos = value->dataPos;
    for (std::string_view typed : {"str(1):", "str(2):"}) {
      if (data.substr(pos).starts_with(typed)) pos += typed.size();  // REG_SZ, REG_EXPAND_SZ
    }
    if (pos < data.size() && data[pos] == '"') {
      if (std::optional<Unescaped> parsed = Unescape(data, pos + 1, '"')) result = std::move(parsed->text);
    }
    return true;
  });
  return result;
}

std::optional<std::string> StringValueLine(std::string_view name, std::string_view value) {
  std::optional<std::string> escapedName = Escape(name, "\"");
  std::optional<std::string> escapedValue = Escape(value, "\"");
  if (!escapedName || !escapedValue) return std::nullopt;
  return ValueNameText(name, *escapedName) + "=\"" + *escapedValue + "\"";
}

std::optional<std::string> BinaryValueLine(std::string_view name, const std::vector<uint8_t>& data) {
  std::optional<std::string> escapedName = Escape(name, "\"");
  if (!escapedName) return std::nullopt;
  std::string line = ValueNameText(name, *escapedName) + "=hex:";
  // Long data continues on indented lines, as Wine wraps it.
  size_t column = line.size();
  char hex[3];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(hex, sizeof hex, "%02x", data[i]);
    line += hex;
    column += 2;
    if (i + 1 < data.size()) {
      line += ',';
      if (++column > 76) {
        line += "\\\n  ";
        column = 2;
      }
    }
  }
  return line;
}

std::optional<std::string> WithValue(std::string_view text, const std::string& storedPath,
                                     std::string_view name, const std::string& valueText, std::time_t now) {
  std::optional<KeyBlock> block;
  ForEachKeyHeader(text, [&](const std::string& keyName, const Line& header) {
    if (!SameIgnoringAsciiCase(keyName, storedPath)) return false;
    block = BlockAfterHeader(text, keyName, header);
    return true;
  });

  std::string out;
  out.reserve(text.size() + valueText.size() + storedPath.size() + 64);
  if (block) {
    if (std::optional<ValueLine> value = FindValue(text, *block, name)) {
      out.append(text, 0, value->line.begin).append(valueText);
      out.append(text, value->line.end);
    } else {
      out.append(text, 0, block->insertAt);
      if (block->insertNeedsBreak) out += '\n';
      // A line ending in a backslash continues on the next one; a blank line
      // ends it, so that the new value stands on a line of its own.
      if (out.ends_with("\\\n") || out.ends_with("\\\r\n")) out += '\n';
      out.append(valueText).append("\n");
      out.append(text, block->insertAt);
    }
  } else {
    std::optional<std::string> path = Escape(storedPath, "[]");
    if (!path) return std::nullopt;
    const auto seconds = static_cast<unsigned long long>(now);
    const unsigned long long filetime = (seconds + 11644473600ULL) * 10000000ULL;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "] %llu\n#time=%llx%08llx\n", seconds, filetime >> 32,
                  filetime & 0xFFFFFFFFULL);
    out = std::string(text);
    if (!out.empty() && out.back() != '\n') out += '\n';
    out.append("\n[").append(*path).append(stamp).append(valueText).append("\n");
  }
  // What a reader will find decides, not what was meant: a damaged file that
  // would swallow the new line is left alone and the write reported as failed.
  std::optional<std::string> stored;
  ForEachKeyHeader(out, [&](const std::string& keyName, const Line& header) {
    if (!SameIgnoringAsciiCase(keyName, storedPath)) return false;
    KeyBlock written = BlockAfterHeader(out, keyName, header);
    if (std::optional<ValueLine> value = FindValue(out, written, name)) {
      stored = out.substr(value->line.begin, value->line.end - value->line.begin);
    }
    return true;
  });
  if (stored != valueText) return std::nullopt;
  return out;
}

}  // namespace sorana::formats::registry_text
