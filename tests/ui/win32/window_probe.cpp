#include "window_probe.h"

#include <cstdio>

#include "ui/win32/win32_text.h"
#include "ui/win32/window_boxes.h"

namespace sorana::test {

RECT InClient(HWND control, HWND window) {
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
  return place;
}

SIZE TextExtent(HWND control, const std::wstring& text, HFONT font) {
  HDC dc = GetDC(control);
  if (font == nullptr) font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  HGDIOBJ old = SelectObject(dc, font);
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return extent;
}

int FontHeight(HWND control) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font.lfHeight;
}

BoxAnswerer::BoxAnswerer() {
  current_ = this;
  timer_ = SetTimer(nullptr, 0, 20, &BoxAnswerer::Tick);
}

BoxAnswerer::~BoxAnswerer() {
  KillTimer(nullptr, timer_);
  current_ = nullptr;
}

BOOL CALLBACK BoxAnswerer::Consider(HWND window, LPARAM found) {
  wchar_t kind[16] = {};
  GetClassNameW(window, kind, 16);
  if (std::wstring(kind) == L"#32770" && IsWindowVisible(window) && IsWindowEnabled(window)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK BoxAnswerer::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (current_ == nullptr) return;
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &Consider, reinterpret_cast<LPARAM>(&box));
  if (box != nullptr) current_->Answer(box);
}

void BoxAnswerer::Answer(HWND box) {
  if (!picture.empty()) {
    // Filled in at once, read, pictured and answered once the screen shows it whole.
    if (box != pictured_) {
      pictured_ = box;
      picturedSince_ = GetTickCount();
      Type(box);
      return;
    }
    if (GetTickCount() - picturedSince_ < kPictureDelayMs) return;
  }
  SeenBox look;
  look.title = ui::win32::WindowText(box);
  look.owner = GetWindow(box, GW_OWNER);
  RECT frame{};
  GetWindowRect(box, &frame);
  look.width = frame.right - frame.left;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  HFONT captionFont = CreateFontIndirectW(&metrics.lfCaptionFont);
  look.titleWidth = TextExtent(box, look.title, captionFont).cx;
  DeleteObject(captionFont);
  HWND text = GetDlgItem(box, sorana::ui::win32::kBoxTextId);
  look.text = ui::win32::WindowText(text);
  look.textPlace = InClient(text, box);
  HWND icon = GetDlgItem(box, sorana::ui::win32::kBoxIconId);
  look.icon = icon != nullptr && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
  HWND edit = GetDlgItem(box, sorana::ui::win32::kInputEditId);
  if (edit != nullptr) look.edit = ui::win32::WindowText(edit);
  for (WORD id : {sorana::ui::win32::kLoginUserLabelId, sorana::ui::win32::kLoginPasswordLabelId}) {
    if (HWND label = GetDlgItem(box, id); label != nullptr)
      look.labels.push_back(ui::win32::WindowText(label));
  }
  HWND password = GetDlgItem(box, sorana::ui::win32::kLoginPasswordId);
  look.passwordHidden = password != nullptr && (GetWindowLongW(password, GWL_STYLE) & ES_PASSWORD) != 0 &&
                        SendMessageW(password, EM_GETPASSWORDCHAR, 0, 0) != 0;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t kind[16] = {};
    GetClassNameW(child, kind, 16);
    if (lstrcmpiW(kind, L"Button") == 0) look.buttons.push_back(ui::win32::WindowText(child));
  }
  Type(box);
  seen.push_back(look);
  if (!picture.empty() && !SaveScreenshot(box, picture))
    std::printf("no picture of the box in %ls\n", picture.c_str());
  if (HWND button = GetDlgItem(box, answer); button != nullptr) {
    SendMessageW(button, BM_CLICK, 0, 0);
  } else {
    SendMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
  }
}

void BoxAnswerer::Type(HWND box) const {
  HWND edit = GetDlgItem(box, sorana::ui::win32::kInputEditId);
  if (edit != nullptr && typed) SetWindowTextW(edit, typed->c_str());
  HWND password = GetDlgItem(box, sorana::ui::win32::kLoginPasswordId);
  if (password != nullptr && typedPassword) SetWindowTextW(password, typedPassword->c_str());
}

bool SaveScreenshot(HWND window, const std::wstring& path) {
  RECT frame{};
  GetWindowRect(window, &frame);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<char> pixels(stride * static_cast<DWORD>(height));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER head{0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof info};
  head.bfSize = head.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  bool written = fwrite(&head, sizeof head, 1, file) == 1 && fwrite(&info, sizeof info, 1, file) == 1 &&
                 fwrite(pixels.data(), pixels.size(), 1, file) == 1;
  return fclose(file) == 0 && written;
}

}  // namespace sorana::test
