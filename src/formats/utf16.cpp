#include "formats/utf16.h"

#include <utility>

namespace sorana::formats {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The code point at `at` and its length in bytes; length 0 when the bytes
// there are no valid UTF-8 sequence.
std::pair<char32_t, size_t> DecodeUtf8(std::string_view in, size_t at) {
  const auto lead = static_cast<unsigned char>(in[at]);
  if (lead < 0x80) return {lead, 1};
  size_t length = 0;
  char32_t point = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, point = lead & 0x07;
  } else {
    return {0, 0};
  }
  if (in.size() - at < length) return {0, 0};
  for (size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(in[at + i]);
    if (!IsContinuation(byte)) return {0, 0};
    point = (point << 6) | (byte & 0x3F);
  }
  const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
  const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
  if (overlong || surrogate || point > 0x10FFFF) return {0, 0};
  return {point, length};
}

void AppendUtf16(std::u16string& out, char32_t point) {
  if (point < 0x10000) {
    out.push_back(static_cast<char16_t>(point));
  } else {
    point -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
  }
}

void AppendUtf8(std::string& out, char32_t point) {
  auto put = [&out](unsigned value) { out.push_back(static_cast<char>(value)); };
  if (point < 0x80) {
    put(point);
  } else if (point < 0x800) {
    put(0xC0 | (point >> 6)), put(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    put(0xE0 | (point >> 12)), put(0x80 | ((point >> 6) & 0x3F)), put(0x80 | (point & 0x3F));
  } else {
    put(0xF0 | (point >> 18)), put(0x80 | ((point >> 12) & 0x3F)), put(0x80 | ((point >> 6) & 0x3F));
    put(0x80 | (point & 0x3F));
  }
}

// The code point of the unit(s) at `at` and how many units it takes; 0 units
// for a lone surrogate.
std::pair<char32_t, size_t> DecodeUtf16(std::u16string_view in, size_t at) {
  const char16_t unit = in[at];
  if (unit < 0xD800 || unit > 0xDFFF) return {unit, 1};
  if (unit > 0xDBFF || at + 1 == in.size() || in[at + 1] < 0xDC00 || in[at + 1] > 0xDFFF) return {0, 0};
  return {0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(in[at + 1]) - 0xDC00), 2};
}

bool ToUtf16(std::string_view utf8, std::u16string& out, bool replace) {
  out.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    auto [point, length] = DecodeUtf8(utf8, at);
    if (length == 0) {
      if (!replace) return false;
      point = kReplacement, length = 1;
    }
    AppendUtf16(out, point);
    at += length;
  }
  return true;
}

bool ToUtf8(std::u16string_view utf16, std::string& out, bool replace) {
  out.reserve(utf16.size() * 3);
  for (size_t at = 0; at < utf16.size();) {
    auto [point, units] = DecodeUtf16(utf16, at);
    if (units == 0) {
      if (!replace) return false;
      point = kReplacement, units = 1;
    }
    AppendUtf8(out, point);
    at += units;
  }
  return true;
}

}  // namespace

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  if (!ToUtf16(utf8, out, false)) return std::nullopt;
  return out;
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  if (!ToUtf8(utf16, out, false)) return std::nullopt;
  return out;
}

std::u16string Utf8ToUtf16Shown(std::string_view utf8) {
  std::u16string out;
  ToUtf16(utf8, out, true);
  return out;
}

std::string Utf16ToUtf8Shown(std::u16string_view utf16) {
  std::string out;
  ToUtf8(utf16, out, true);
  return out;
}

}  // namespace sorana::formats
