#include "ui/win32/window_font.h"

#include <array>
#include <map>

namespace sorana::ui::win32 {

namespace {

// In order of preference: the font the window is drawn for, its English name,
// then the Japanese Gothics a Linux machine offers through Wine.
constexpr std::array<const wchar_t*, 8> kFaces = {
    L"ＭＳ ゴシック",         L"MS Gothic",        L"IPAGothic", L"IPAゴシック", L"VL Gothic", L"TakaoGothic",
    L"Noto Sans Mono CJK JP", L"Noto Sans CJK JP",
};

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

bool HasFace(HDC dc, const wchar_t* face) {
  LOGFONTW wanted{};
  wanted.lfCharSet = SHIFTJIS_CHARSET;
  lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  EnumFontFamiliesExW(dc, &wanted, NoteFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

std::wstring ChooseFace() {
  HDC dc = GetDC(nullptr);
  std::wstring chosen = kFaces[0];  // none present: the font mapper's nearest
  for (const wchar_t* face : kFaces) {
    if (HasFace(dc, face)) {
      chosen = face;
      break;
    }
  }
  ReleaseDC(nullptr, dc);
  return chosen;
}

}  // namespace

const std::wstring& JapaneseFontFace() {
  static const std::wstring face = ChooseFace();
  return face;
}

HFONT WindowFont(int pixels) {
  static std::map<int, HFONT> fonts;
  HFONT& font = fonts[pixels];
  if (font == nullptr) {
    font = CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN,
                       JapaneseFontFace().c_str());
  }
  return font;
}

}  // namespace sorana::ui::win32
