// CP932 (Shift-JIS, Windows code page 932) text, converted with glibc's iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sorana::platform {

// UTF-8 of CP932 bytes; nullopt when the bytes are not valid CP932.
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);
// CP932 bytes of UTF-8 text; nullopt when the text has a character CP932 lacks
// or is not valid UTF-8.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

}  // namespace sorana::platform
