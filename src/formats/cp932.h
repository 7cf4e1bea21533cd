// CP932 (Shift-JIS, code page 932), the encoding of the application's files:
// converted with glibc's iconv on Linux and the system's table on Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sorana::formats {

// UTF-8 of CP932 bytes; nullopt when the bytes are not valid CP932.
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);
// CP932 bytes of UTF-8 text; nullopt when the text has a character CP932 lacks
// or is not valid UTF-8.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

// True for the first byte of a two-byte CP932 character (its second byte may be
// 0x5C, the backslash, or '[' and ']').
constexpr bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace sorana::formats
