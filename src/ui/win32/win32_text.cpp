#include "ui/win32/win32_text.h"

#include <windows.h>

#include "formats/utf16.h"

namespace sorana::ui::win32 {

std::wstring Wide(std::string_view utf8) { return formats::Utf8ToWideShown(utf8); }

std::string Narrow(std::wstring_view utf16) { return formats::WideToUtf8Shown(utf16); }

std::wstring DisplayText(std::string_view utf8) {
  const std::wstring wide = Wide(utf8);
  std::wstring shown;
  shown.reserve(wide.size() + 8);
  for (size_t i = 0; i < wide.size(); ++i) {
    const wchar_t c = wide[i];
    if (c == L'\r' || c == L'\n') {
      shown += L"\r\n";
      if (c == L'\r' && i + 1 < wide.size() && wide[i + 1] == L'\n') ++i;
    } else {
      shown += c;
    }
  }
  return shown;
}

std::wstring WindowText(HWND window) {
  if (window == nullptr) return {};
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace sorana::ui::win32
