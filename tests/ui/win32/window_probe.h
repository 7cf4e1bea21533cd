// Reading the Windows window back as the user sees it, through the Win32 API:
// places, texts and fonts of controls, the modal boxes while they are open
// (read and answered from a timer inside their modal loop), and a picture of
// a window as the screen shows it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace sorana::test {

// The control's place in the client area of `window`.
RECT InClient(HWND control, HWND window);
// In the control's own font unless another is given.
SIZE TextExtent(HWND control, const std::wstring& text, HFONT font = nullptr);
// The character height of the control's font (negative: pixels).
int FontHeight(HWND control);

// A modal box as the user sees it, read while it is open.
struct SeenBox {
  std::wstring title, text, edit;
  std::vector<std::wstring> labels;  // the login box's field labels
  std::vector<std::wstring> buttons;
  bool passwordHidden = false;  // the login box's password field shows only a mask
  HWND owner = nullptr;
  bool icon = false;
  int width = 0, titleWidth = 0;  // the box's and its title's in the caption font
  RECT textPlace{};
};

// Reads and answers every box that opens on this thread while it lives.
class BoxAnswerer {
 public:
  BoxAnswerer();
  ~BoxAnswerer();
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;

  WORD answer = IDOK;                         // the button pressed (IDCANCEL: the Escape key)
  std::optional<std::wstring> typed;          // put into an input box's field first
  std::optional<std::wstring> typedPassword;  // into the login box's password field
  std::wstring picture;  // a .bmp path: the box is saved there as shown, before the answer
  std::vector<SeenBox> seen;

 private:
  static BOOL CALLBACK Consider(HWND window, LPARAM found);
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  void Answer(HWND box);
  void Type(HWND box) const;

  static constexpr DWORD kPictureDelayMs = 300;
  HWND pictured_ = nullptr;
  DWORD picturedSince_ = 0;

  static inline BoxAnswerer* current_ = nullptr;
  UINT_PTR timer_ = 0;
};

// A picture of the window as the screen shows it, as a 24-bit BMP file.
bool SaveScreenshot(HWND window, const std::wstring& path);

}  // namespace sorana::test
