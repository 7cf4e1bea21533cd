#include "ui/win32/window_boxes.h"

#include <algorithm>
#include <vector>

#include "form/window_layout.h"
#include "ui/win32/dialog_template.h"
#include "ui/win32/win32_text.h"
#include "ui/win32/window_font.h"

namespace sorana::ui::win32 {

namespace {

using form::BoxAnswer;
using form::BoxKind;
using form::kFontPixels;

constexpr int kMargin = 12;
constexpr int kGap = 8;
constexpr int kIconSize = 32;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 25;
constexpr int kTextMaxWidth = 420;
constexpr int kInputWidth = 300;
constexpr int kEditHeight = 22;
constexpr DWORD kBoxStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND;

struct ButtonSpec {
  WORD id;
  const wchar_t* caption;
};

struct MessageSpec {
  const wchar_t* title;  // null: the notice caption
  const wchar_t* icon;   // null: none
  std::vector<ButtonSpec> buttons;
};

MessageSpec SpecOf(BoxKind kind) {
  switch (kind) {
    case BoxKind::Confirmation:
      return {L"確認", IDI_QUESTION, {{IDYES, L"はい(&Y)"}, {IDNO, L"いいえ(&N)"}}};
    case BoxKind::Information:
      return {L"情報", IDI_INFORMATION, {{IDOK, L"OK"}}};
    case BoxKind::Error:
      return {L"エラー", IDI_ERROR, {{IDOK, L"OK"}}};
    case BoxKind::Notice:
      return {nullptr, nullptr, {{IDOK, L"OK"}}};
    case BoxKind::Panic:
      return {L"PANIC!!", IDI_ERROR, {{IDOK, L"OK"}}};
  }
  return {L"", nullptr, {{IDOK, L"OK"}}};
}

void UseWindowFont(HWND dialog) {
  HFONT font = WindowFont(kFontPixels);
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
}

SIZE MeasureText(HWND dialog, const std::wstring& text, int maxWidth) {
  HDC dc = GetDC(dialog);
  HGDIOBJ old = SelectObject(dc, WindowFont(kFontPixels));
  RECT rect{0, 0, maxWidth, 0};
  const std::wstring measured = text.empty() ? L" " : text;
  DrawTextW(dc, measured.c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// The width the title needs beside the caption's buttons, so that it is not cut.
int TitleWidth(HWND dialog) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  HFONT font = CreateFontIndirectW(&metrics.lfCaptionFont);
  wchar_t title[256] = {};
  GetWindowTextW(dialog, title, 256);
  HDC dc = GetDC(dialog);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE extent{};
  GetTextExtentPoint32W(dc, title, lstrlenW(title), &extent);
  SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  DeleteObject(font);
  return extent.cx + 2 * GetSystemMetrics(SM_CXSIZE) + 2 * kMargin;
}

void Place(HWND dialog, WORD id, int x, int y, int width, int height) {
  MoveWindow(GetDlgItem(dialog, id), x, y, width, height, FALSE);
}

// Sizes the dialog to the client size and centres it over its owner, or over
// the screen when it has none.
void FitDialog(HWND dialog, int clientWidth, int clientHeight) {
  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT over{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (HWND owner = GetWindow(dialog, GW_OWNER); owner != nullptr && IsWindowVisible(owner)) {
    GetWindowRect(owner, &over);
  }
  const int x = over.left + (over.right - over.left - width) / 2;
  const int y = over.top + (over.bottom - over.top - height) / 2;
  SetWindowPos(dialog, nullptr, std::max(0, x), std::max(0, y), width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

struct MessageBoxState {
  BoxKind kind;
  MessageSpec spec;
  std::wstring text;
};

void LayOutMessageBox(HWND dialog, const MessageBoxState& box) {
  UseWindowFont(dialog);
  const bool icon = box.spec.icon != nullptr;
  if (icon) {
    SendDlgItemMessageW(dialog, kBoxIconId, STM_SETICON,
                        reinterpret_cast<WPARAM>(LoadIconW(nullptr, box.spec.icon)), 0);
    Place(dialog, kBoxIconId, kMargin, kMargin, kIconSize, kIconSize);
  }
  const SIZE text = MeasureText(dialog, box.text, kTextMaxWidth);
  const int textLeft = kMargin + (icon ? kIconSize + kMargin : 0);
  const int topHeight = std::max<int>(text.cy, icon ? kIconSize : 0);
  const int textTop = kMargin + (topHeight - text.cy) / 2;
  Place(dialog, kBoxTextId, textLeft, textTop, text.cx, text.cy);

  const int count = static_cast<int>(box.spec.buttons.size());
  const int row = count * kButtonWidth + (count - 1) * kGap;
  const int width =
      std::max({static_cast<int>(textLeft + text.cx + kMargin), row + 2 * kMargin, TitleWidth(dialog)});
  const int buttonsTop = kMargin + topHeight + 2 * kGap;
  int x = (width - row) / 2;
  for (const ButtonSpec& button : box.spec.buttons) {
    Place(dialog, button.id, x, buttonsTop, kButtonWidth, kButtonHeight);
    x += kButtonWidth + kGap;
  }
  FitDialog(dialog, width, buttonsTop + kButtonHeight + kMargin);
  SetFocus(GetDlgItem(dialog, box.spec.buttons.front().id));
}

INT_PTR CALLBACK MessageBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    LayOutMessageBox(dialog, *reinterpret_cast<const MessageBoxState*>(lParam));
    return FALSE;  // the focus is set
  }
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    const auto* box = reinterpret_cast<const MessageBoxState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    WORD id = LOWORD(wParam);
    // Escape and the close box mean No where there is a No, else OK.
    if (id == IDCANCEL) id = box->kind == BoxKind::Confirmation ? IDNO : IDOK;
    if (id == IDOK || id == IDYES || id == IDNO) EndDialog(dialog, id);
    return TRUE;
  }
  return FALSE;
}

struct InputBoxState {
  std::wstring prompt;
  std::wstring text;
  std::optional<std::string> result;
  bool login = false;  // a user name and a hidden password
  std::string password;
};

constexpr int kLabelWidth = 100;

void LayOutInputBox(HWND dialog, const InputBoxState& box) {
  UseWindowFont(dialog);
  const SIZE prompt = MeasureText(dialog, box.prompt, kInputWidth);
  Place(dialog, kBoxTextId, kMargin, kMargin, kInputWidth, prompt.cy);
  int editTop = kMargin + prompt.cy + kGap / 2;
  if (box.login) {
    const int fieldWidth = kInputWidth - kLabelWidth;
    Place(dialog, kLoginUserLabelId, kMargin, editTop + 3, kLabelWidth, kEditHeight);
    Place(dialog, kInputEditId, kMargin + kLabelWidth, editTop, fieldWidth, kEditHeight);
    editTop += kEditHeight + kGap / 2;
    Place(dialog, kLoginPasswordLabelId, kMargin, editTop + 3, kLabelWidth, kEditHeight);
    Place(dialog, kLoginPasswordId, kMargin + kLabelWidth, editTop, fieldWidth, kEditHeight);
  } else {
    Place(dialog, kInputEditId, kMargin, editTop, kInputWidth, kEditHeight);
  }
  const int buttonsTop = editTop + kEditHeight + kMargin;
  const int width = kInputWidth + 2 * kMargin;
  const int okLeft = width - kMargin - 2 * kButtonWidth - kGap;
  Place(dialog, IDOK, okLeft, buttonsTop, kButtonWidth, kButtonHeight);
  Place(dialog, IDCANCEL, okLeft + kButtonWidth + kGap, buttonsTop, kButtonWidth, kButtonHeight);
  FitDialog(dialog, width, buttonsTop + kButtonHeight + kMargin);
  HWND edit = GetDlgItem(dialog, kInputEditId);
  SetFocus(edit);
  SendMessageW(edit, EM_SETSEL, 0, -1);
}

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    LayOutInputBox(dialog, *reinterpret_cast<const InputBoxState*>(lParam));
    return FALSE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    auto* box = reinterpret_cast<InputBoxState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (LOWORD(wParam) == IDOK) {
      box->result = Narrow(WindowText(GetDlgItem(dialog, kInputEditId)));
      if (box->login) box->password = Narrow(WindowText(GetDlgItem(dialog, kLoginPasswordId)));
    }
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

BoxAnswer ShowMessageBox(HWND owner, BoxKind kind, std::string_view text, const std::wstring& noticeCaption) {
  MessageBoxState box{kind, SpecOf(kind), DisplayText(text)};
  DialogTemplate dialog(box.spec.title != nullptr ? box.spec.title : noticeCaption, kBoxStyle);
  if (box.spec.icon != nullptr) dialog.AddItem(ItemClass::Static, kBoxIconId, WS_VISIBLE | SS_ICON, L"");
  dialog.AddItem(ItemClass::Static, kBoxTextId, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, box.text);
  bool first = true;
  for (const ButtonSpec& button : box.spec.buttons) {
    const DWORD style = WS_VISIBLE | WS_TABSTOP | (first ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    dialog.AddItem(ItemClass::Button, button.id, style, button.caption);
    first = false;
  }
  HWND parent = kind == BoxKind::Panic ? nullptr : owner;
  const INT_PTR id = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), parent, MessageBoxProc,
                                             reinterpret_cast<LPARAM>(&box));
  if (id == IDYES) return BoxAnswer::Yes;
  if (id == IDNO) return BoxAnswer::No;
  return BoxAnswer::Ok;
}

std::optional<std::string> ShowInputBox(HWND owner, std::string_view caption, std::string_view prompt,
                                        std::string_view text) {
  InputBoxState box{Wide(prompt), Wide(text), std::nullopt, false, {}};
  DialogTemplate dialog(Wide(caption), kBoxStyle);
  dialog.AddItem(ItemClass::Static, kBoxTextId, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, box.prompt);
  dialog.AddItem(ItemClass::Edit, kInputEditId, WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, box.text,
                 WS_EX_CLIENTEDGE);
  dialog.AddItem(ItemClass::Button, IDOK, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, L"OK");
  dialog.AddItem(ItemClass::Button, IDCANCEL, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, L"キャンセル");
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), owner, InputBoxProc,
                          reinterpret_cast<LPARAM>(&box));
  return box.result;
}

std::optional<form::ProxyLogin> ShowLoginBox(HWND owner, std::string_view prompt) {
  InputBoxState box{DisplayText(prompt), L"", std::nullopt, true, {}};
  DialogTemplate dialog(Wide(form::kProxyLoginCaption), kBoxStyle);
  dialog.AddItem(ItemClass::Static, kBoxTextId, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, box.prompt);
  dialog.AddItem(ItemClass::Static, kLoginUserLabelId, WS_VISIBLE | SS_LEFT, Wide(form::kProxyUserLabel));
  dialog.AddItem(ItemClass::Edit, kInputEditId, WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, L"",
                 WS_EX_CLIENTEDGE);
  dialog.AddItem(ItemClass::Static, kLoginPasswordLabelId, WS_VISIBLE | SS_LEFT,
                 Wide(form::kProxyPasswordLabel));
  dialog.AddItem(ItemClass::Edit, kLoginPasswordId, WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD,
                 L"", WS_EX_CLIENTEDGE);
  dialog.AddItem(ItemClass::Button, IDOK, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, L"OK");
  dialog.AddItem(ItemClass::Button, IDCANCEL, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, L"キャンセル");
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), owner, InputBoxProc,
                          reinterpret_cast<LPARAM>(&box));
  if (!box.result) return std::nullopt;
  return form::ProxyLogin{*box.result, box.password};
}

}  // namespace sorana::ui::win32
