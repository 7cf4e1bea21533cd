#include "ui/win32/window_classes.h"

#include <commctrl.h>

namespace sorana::ui::win32 {

namespace {

LRESULT CALLBACK ClientProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_NOTIFY:
      return SendMessageW(GetParent(panel), message, wParam, lParam);
    default:
      return DefWindowProcW(panel, message, wParam, lParam);
  }
}

}  // namespace

void RegisterWindowClasses(WNDPROC formProc) {
  static const bool registered = [formProc] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = formProc;
    form.hInstance = GetModuleHandleW(nullptr);
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    form.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    form.lpszClassName = kFormClass;
    WNDCLASSEXW client = form;
    client.lpfnWndProc = ClientProc;
    client.hIcon = nullptr;
    client.lpszClassName = kClientClass;
    return RegisterClassExW(&form) != 0 && RegisterClassExW(&client) != 0;
  }();
  (void)registered;
}

}  // namespace sorana::ui::win32
