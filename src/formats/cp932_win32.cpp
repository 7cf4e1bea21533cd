// Code page 932 through the system's own table.
#include "formats/cp932.h"

#include <windows.h>

#include "formats/utf16.h"

namespace sorana::formats {

namespace {
constexpr UINT kCp932 = 932;

// 0x80, 0xA0 and 0xFD to 0xFF are no characters of CP932; the system's table
// passes them through as U+0080, U+F8F0, ... where the other host refuses them.
bool HasUnassignedByte(std::string_view cp932) {
  for (size_t i = 0; i < cp932.size(); ++i) {
    auto byte = static_cast<unsigned char>(cp932[i]);
    if (IsCp932LeadByte(byte)) {
      ++i;
    } else if (byte == 0x80 || byte == 0xA0 || byte >= 0xFD) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
  if (cp932.empty()) return std::string();
  if (HasUnassignedByte(cp932)) return std::nullopt;
  int size = MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, cp932.data(), static_cast<int>(cp932.size()),
                                 nullptr, 0);
  if (size <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, cp932.data(), static_cast<int>(cp932.size()), wide.data(),
                      size);
  return WideToUtf8(wide);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  std::optional<std::wstring> wide = Utf8ToWide(utf8);
  if (!wide) return std::nullopt;
  if (wide->empty()) return std::string();
  // No best fit: a character CP932 lacks fails instead of turning into a look-alike.
  BOOL usedDefault = FALSE;
  int size = WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, wide->data(), static_cast<int>(wide->size()),
                                 nullptr, 0, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return std::nullopt;
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, wide->data(), static_cast<int>(wide->size()), out.data(),
                      size, nullptr, &usedDefault);
  if (usedDefault) return std::nullopt;
  return out;
}

}  // namespace sorana::formats
