#include "unlha32/member_name.h"

#include <cstdint>
#include <optional>

#include "platform/cp932.h"
#include "unlha32/lha_writer.h"

namespace unlha32 {
namespace {

uint32_t ReadLittle(const uint8_t* p, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= static_cast<uint32_t>(p[i]) << (8 * i);
  return value;
}

bool IsSeparator(unsigned char byte) { return byte == '\\' || byte == '/' || byte == 0xFF; }

// Splits at separators; with `cp932` the second byte of a two-byte character
// is never taken for one.
std::vector<std::string> SplitPath(std::string_view bytes, bool cp932) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    if (cp932 && IsCp932LeadByte(byte) && i + 1 < bytes.size()) {
      parts.back() += bytes.substr(i, 2);
      ++i;
    } else if (IsSeparator(byte)) {
      parts.emplace_back();
    } else {
      parts.back().push_back(bytes[i]);
    }
  }
  return parts;
}

// The components in UTF-8: CP932 when every one converts, else the bytes
// themselves when they are UTF-8.
std::optional<std::vector<std::string>> ConvertPath(std::string_view bytes) {
  std::vector<std::string> converted;
  bool allCp932 = true;
  for (const std::string& part : SplitPath(bytes, true)) {
    auto utf8 = sorana::platform::Cp932ToUtf8(part);
    if (!utf8) {
      allCp932 = false;
      break;
    }
    converted.push_back(*utf8);
  }
  if (allCp932) return converted;
  if (!IsValidUtf8(bytes)) return std::nullopt;
  return SplitPath(bytes, false);
}

std::string Escaped(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      out.push_back(c);
    } else {
      out += "\\x";
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    }
  }
  return out;
}

// Why a converted component may not be used; empty when it may.
std::string ComponentProblem(const std::string& name) {
  if (name == "..") return "a \"..\" component";
  if (name.find(':') != std::string::npos) return "a drive letter or colon";
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "a control character";
  }
  if (name.find_first_not_of(". ") == std::string::npos) return "a name of dots and blanks";
  return {};
}

}  // namespace

StoredPath ReadStoredPath(const LHAFileHeader& header) {
  StoredPath stored;
  const uint8_t* raw = header.raw_data;
  const size_t size = header.raw_data_len;
  size_t offset = 0;
  size_t field = 2;
  switch (header.header_level) {
    case 0:
    case 1:
      if (size > 22 && 22u + raw[21] <= size) {
        stored.name.assign(reinterpret_cast<const char*>(raw + 22), raw[21]);
      }
      if (header.header_level == 0) return stored;
      offset = raw[0];  // the base header ends in the size of the first extension
      break;
    case 2:
      offset = 24;
      break;
    case 3:
      offset = 28;
      field = 4;
      break;
    default:
      return stored;
  }
  // Each extension: its size (counting type, data and the next size), type, data.
  while (offset + field <= size) {
    size_t length = ReadLittle(raw + offset, field);
    if (length == 0 || length < field + 1 || offset + field + length > size) break;
    uint8_t type = raw[offset + field];
    std::string data(reinterpret_cast<const char*>(raw + offset + field + 1), length - field - 1);
    if (type == 0x01) stored.name = data;
    if (type == 0x02) stored.folder = data;
    offset += length;
  }
  return stored;
}

MemberPath DecodeStoredPath(const StoredPath& stored) {
  MemberPath result;
  std::string whole = stored.folder;
  if (!whole.empty() && !stored.name.empty() && !IsSeparator(static_cast<unsigned char>(whole.back()))) {
    whole.push_back('\xFF');
  }
  whole += stored.name;
  result.display = Escaped(whole);

  // 0xFF is neither CP932 nor UTF-8: it always separates, so convert between them.
  std::vector<std::string> components;
  size_t start = 0;
  bool convertible = true;
  while (start <= whole.size()) {
    size_t end = whole.find('\xFF', start);
    if (end == std::string::npos) end = whole.size();
    auto converted = ConvertPath(std::string_view(whole).substr(start, end - start));
    if (!converted) {
      convertible = false;
      break;
    }
    components.insert(components.end(), converted->begin(), converted->end());
    start = end + 1;
  }
  if (!convertible) {
    result.problem = "a name that is neither CP932 nor UTF-8";
    return result;
  }

  if (!whole.empty() && IsSeparator(static_cast<unsigned char>(whole.front()))) {
    result.problem = "an absolute path";
  }
  std::string display;
  for (const std::string& name : components) {
    if (name.empty() || name == ".") continue;
    if (result.problem.empty()) result.problem = ComponentProblem(name);
    result.components.push_back(name);
    display += display.empty() ? name : "\\" + name;
  }
  result.display = display.empty() ? result.display : display;
  if (result.problem.empty() && result.components.empty()) result.problem = "an empty name";
  result.ok = result.problem.empty();
  return result;
}

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    auto byte = static_cast<unsigned char>(text[i]);
    size_t extra;
    uint32_t code;
    if (byte < 0x80) {
      ++i;
      continue;
    } else if (byte >= 0xC2 && byte <= 0xDF) {
      extra = 1, code = byte & 0x1F;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      extra = 2, code = byte & 0x0F;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
      extra = 3, code = byte & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (code < minimum[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace unlha32
