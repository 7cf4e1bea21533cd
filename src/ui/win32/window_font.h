// The window's font: "ＭＳ ゴシック" where installed, else the first Japanese
// Gothic the system has (IPAGothic under Wine on Debian).
#pragma once

#include <windows.h>

#include <string>

namespace sorana::ui::win32 {

// The face chosen, asked of the system once.
const std::wstring& JapaneseFontFace();
// The font at a character height of `pixels` (one pixel a pixel: no scaling
// with the screen resolution). Made once per height, kept until the program ends.
HFONT WindowFont(int pixels);

}  // namespace sorana::ui::win32
