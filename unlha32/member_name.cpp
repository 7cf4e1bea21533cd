#include "unlha32/member_name.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "formats/ascii_case.h"
#include "formats/cp932.h"
#include "platform/windows_system.h"
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
    auto utf8 = sorana::formats::Cp932ToUtf8(part);
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

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9, with any extension: Windows opens the
// device instead of a file of that name.
bool IsDeviceName(const std::string& name) {
  std::string stem = sorana::formats::AsciiUpper(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' &&
         stem[3] <= '9';
}

// Why a converted component may not be used; empty when it may. Names Windows
// cannot hold are refused on every host, so that the whole archive is judged
// before anything is written rather than failing half way.
std::string ComponentProblem(const std::string& name) {
  if (name == "..") return "a \"..\" component";
  if (name.find(':') != std::string::npos) return "a drive letter or colon";
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "a control character";
  }
  if (name.find_first_of("<>\"|?*") != std::string::npos) {
    return "a character Windows does not allow in names";
  }
  if (name.find_first_not_of(". ") == std::string::npos) return "a name of dots and blanks";
  if (IsDeviceName(name)) return "a device name";
  return {};
}

std::string UpToNul(const uint8_t* data, size_t length) {
  std::string text(reinterpret_cast<const char*>(data), length);
  size_t nul = text.find('\0');
  if (nul != std::string::npos) text.erase(nul);
  return text;
}

// Position of the last separator, not taking the second byte of a CP932
// character for one; npos when there is none.
size_t LastSeparator(std::string_view bytes) {
  size_t last = std::string_view::npos;
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    if (IsCp932LeadByte(byte)) {
      ++i;
    } else if (IsSeparator(byte)) {
      last = i;
    }
  }
  return last;
}

// Length of the root in front of a path: separators, or a drive letter with
// its colon and the separators after it.
size_t RootLength(std::string_view path) {
  size_t length = 0;
  auto separatorsFrom = [&](size_t at) {
    while (at < path.size() && IsSeparator(static_cast<unsigned char>(path[at]))) ++at;
    return at;
  };
  length = separatorsFrom(0);
  const bool drive =
      path.size() >= length + 2 && path[length + 1] == ':' &&
      ((path[length] >= 'A' && path[length] <= 'Z') || (path[length] >= 'a' && path[length] <= 'z'));
  if (drive) length = separatorsFrom(length + 2);
  return length;
}

// 0xFF is neither CP932 nor UTF-8: it always separates, so convert between them.
std::optional<std::vector<std::string>> ConvertWhole(std::string_view whole) {
  std::vector<std::string> components;
  size_t start = 0;
  while (start <= whole.size()) {
    size_t end = whole.find('\xFF', start);
    if (end == std::string_view::npos) end = whole.size();
    auto converted = ConvertPath(whole.substr(start, end - start));
    if (!converted) return std::nullopt;
    components.insert(components.end(), converted->begin(), converted->end());
    start = end + 1;
  }
  return components;
}

}  // namespace

StoredPath ReadStoredPath(const LHAFileHeader& header) {
  const uint8_t* raw = header.raw_data;
  const size_t size = header.raw_data_len;
  std::string baseName;  // the name field of level 0 and 1 headers, folders included
  std::optional<std::string> nameField;
  std::optional<std::string> folderField;
  size_t offset = 0;
  size_t field = 2;
  switch (header.header_level) {
    case 0:
    case 1:
      if (size > 22 && 22u + raw[21] <= size) baseName = UpToNul(raw + 22, raw[21]);
      if (header.header_level == 0) return StoredPath{{}, baseName};
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
      return {};
  }
  // Each extension: its size (counting type, data and the next size), type, data.
  while (offset + field <= size) {
    size_t length = ReadLittle(raw + offset, field);
    if (length == 0 || length < field + 1 || offset + field + length > size) break;
    uint8_t type = raw[offset + field];
    const uint8_t* data = raw + offset + field + 1;
    if (type == 0x01) {
      // A name of its own holds no folders: a '/' in it is part of the name.
      nameField = UpToNul(data, length - field - 1);
      std::replace(nameField->begin(), nameField->end(), '/', '_');
    }
    if (type == 0x02) folderField = UpToNul(data, length - field - 1);
    offset += length;
  }
  if (!nameField && !folderField) return StoredPath{{}, baseName};
  // An extension replaces only its own part of a level 1 header's name field.
  size_t cut = LastSeparator(baseName);
  std::string baseFolder = cut == std::string::npos ? std::string() : baseName.substr(0, cut + 1);
  if (cut != std::string::npos) baseName.erase(0, cut + 1);
  return StoredPath{folderField.value_or(baseFolder), nameField.value_or(baseName)};
}

StoredPath LinkPath(StoredPath stored) {
  size_t bar = stored.folder.find('|');
  if (bar != std::string::npos) return StoredPath{stored.folder.substr(0, bar), {}};
  bar = stored.name.find('|');
  if (bar != std::string::npos) stored.name.erase(bar);
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
  whole.erase(0, RootLength(whole));

  std::optional<std::vector<std::string>> components = ConvertWhole(whole);
  if (!components) {
    result.problem = "a name that is neither CP932 nor UTF-8";
    return result;
  }
  std::string display;
  for (const std::string& name : *components) {
    if (name.empty() || name == ".") continue;
    if (result.problem.empty()) result.problem = ComponentProblem(name);
    result.components.push_back(name);
    display += display.empty() ? name : "\\" + name;
  }
  result.display = display.empty() ? result.display : display;
  if (result.components.empty()) {
    result.isRoot = true;
    if (result.problem.empty()) result.problem = "an empty name";
  }
  result.ok = result.problem.empty();
  return result;
}

MemberPath DecodeLinkTarget(std::string_view target, size_t folderDepth) {
  MemberPath result;
  result.display = Escaped(target);
  if (RootLength(target) > 0) {
    result.problem = "a link to an absolute path";
    return result;
  }
  std::optional<std::vector<std::string>> components = ConvertWhole(target);
  if (!components) {
    result.problem = "a link target that is neither CP932 nor UTF-8";
    return result;
  }
  size_t depth = folderDepth;
  for (const std::string& name : *components) {
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (depth == 0) {
        result.problem = "a link that climbs out of the destination";
        return result;
      }
      --depth;
      result.components.push_back(name);
      continue;
    }
    ++depth;
    std::string problem = ComponentProblem(name);
    if (!problem.empty()) {
      result.problem = "a link target with " + problem;
      return result;
    }
    result.components.push_back(name);
  }
  if (result.components.empty()) result.problem = "a link without target";
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
