// The program's UTF-8 texts in the window's wide-character API, and back.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace sorana::ui::win32 {

// Invalid sequences become U+FFFD: a caption is shown, never refused.
std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The core joins lines with a lone CR; the window's controls break lines at CR LF.
std::wstring DisplayText(std::string_view utf8);

// A window's or control's text; empty for none.
std::wstring WindowText(HWND window);

}  // namespace sorana::ui::win32
