// UTF-8, the program's text, and UTF-16, the text of Wine's registry escapes
// and of the Windows wide-character API: one conversion for every layer.
#pragma once

#include <cwchar>
#include <optional>
#include <string>
#include <string_view>

namespace sorana::formats {

// nullopt when the input is not valid (a lone surrogate, a malformed,
// overlong or out-of-range UTF-8 sequence).
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);
std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16);

// The same where a text is shown rather than stored: each invalid unit
// becomes U+FFFD instead of refusing the whole text.
std::u16string Utf8ToUtf16Shown(std::string_view utf8);
std::string Utf16ToUtf8Shown(std::u16string_view utf16);

#if WCHAR_MAX == 0xFFFF
// Windows' wchar_t holds UTF-16 code units.
inline std::optional<std::wstring> Utf8ToWide(std::string_view utf8) {
  std::optional<std::u16string> units = Utf8ToUtf16(utf8);
  if (!units) return std::nullopt;
  return std::wstring(units->begin(), units->end());
}
inline std::optional<std::string> WideToUtf8(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}
inline std::wstring Utf8ToWideShown(std::string_view utf8) {
  std::u16string units = Utf8ToUtf16Shown(utf8);
  return std::wstring(units.begin(), units.end());
}
inline std::string WideToUtf8Shown(std::wstring_view wide) {
  return Utf16ToUtf8Shown(std::u16string(wide.begin(), wide.end()));
}
#endif

}  // namespace sorana::formats
