#include "ui/win32/tmain_form.h"

#include <commctrl.h>

#include <algorithm>

#include "catalogue/standards.h"
#include "form/window_layout.h"
#include "platform/file_tree.h"
#include "ui/win32/check_list_box.h"
#include "ui/win32/win32_text.h"
#include "ui/win32/window_boxes.h"
#include "ui/win32/window_classes.h"
#include "ui/win32/window_font.h"

namespace sorana::ui::win32 {

namespace {

using form::BoxAnswer;
using form::BoxKind;
using form::Control;
using form::FormEvents;

// A single fixed border with the close box only.
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// The close request of PostClose, handled by the message loop.
constexpr UINT kCloseRequest = WM_APP + 2;

WORD IdOf(Control control) { return static_cast<WORD>(100 + static_cast<int>(control)); }

struct ControlKind {
  const wchar_t* windowClass;
  DWORD style;
};

ControlKind KindOf(Control control) {
  switch (control) {
    case Control::DownLoadButton:
      return {L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON};
    case Control::CancelButton:  // shown during an update
      return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON};
    case Control::ProgressBar:
      return {PROGRESS_CLASSW, WS_VISIBLE | WS_TABSTOP};
    case Control::ProgressLabel:
      return {L"STATIC", WS_VISIBLE | SS_RIGHT | SS_NOPREFIX};
    default:
      return {L"STATIC", WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX};
  }
}

int TextHeight(HFONT font) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return metrics.tmHeight;
}

}  // namespace

LRESULT CALLBACK TMainForm::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TMainForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  try {
    return self->OnMessage(window, message, wParam, lParam);
  } catch (...) {
    // The handlers are guarded; this keeps anything else from crossing the
    // system's code as well.
    form::ReportWindowError(*self, self->events_, form::kUnexpectedError);
    return 0;
  }
}

TMainForm::TMainForm() : caption_(Wide(form::kWindowCaption)) {
  RegisterWindowClasses(&FormProc);
  BuildMenu();
  window_ = CreateWindowExW(0, kFormClass, caption_.c_str(), kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            form::kClientWidth, form::kClientHeight, nullptr, menu_,
                            GetModuleHandleW(nullptr), this);
  client_ = CreateWindowExW(WS_EX_CONTROLPARENT, kClientClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                            0, 0, form::kClientWidth, form::kClientHeight, window_, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  BuildControls();
  SetClientSize(form::kClientWidth, form::kClientHeight);
  // The shell's error boxes of the installation's moves and copies are the window's own.
  platform::SetFileOperationOwner(window_);
}

TMainForm::~TMainForm() {
  events_ = nullptr;
  closing_ = true;
  platform::SetFileOperationOwner(nullptr);
  if (window_ != nullptr) DestroyWindow(window_);
  if (busyCursor_) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

void TMainForm::BuildMenu() {
  HMENU settings = CreatePopupMenu();
  AppendMenuW(settings, MF_STRING, kProxyIPMenuId, Wide(form::kProxyIPMenuCaption).c_str());
  AppendMenuW(settings, MF_STRING, kProxyPortMenuId, Wide(form::kProxyPortMenuCaption).c_str());
  menu_ = CreateMenu();
  AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(settings),
              Wide(form::kSettingsMenuCaption).c_str());
}

void TMainForm::BuildControls() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  HFONT font = WindowFont(form::kFontPixels);
  const int lineHeight = TextHeight(font);
  // Children are created in the table's order, which is the tab order.
  for (const form::ControlPlace& place : form::kControlPlaces) {
    const int height = place.height == form::kTextLine ? lineHeight : place.height;
    const RECT rect{place.left, place.top, place.left + place.width, place.top + height};
    if (place.control == Control::CheckListBox1) {
      checkList_ =
          std::make_unique<TCheckListBox>(client_, window_, IdOf(place.control), rect, form::kListColumns,
                                          form::kListRowHeight, WindowFont(form::kListFontPixels));
      for (std::string_view caption : catalogue::kStandardCaptions) checkList_->AddItem(caption);
      controls_[Index(place.control)] = checkList_->Handle();
      continue;
    }
    const ControlKind kind = KindOf(place.control);
    HWND child = CreateWindowExW(0, kind.windowClass, Wide(place.caption).c_str(), WS_CHILD | kind.style,
                                 rect.left, rect.top, place.width, height, client_,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IdOf(place.control))),
                                 instance, nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    controls_[Index(place.control)] = child;
  }
  SendMessageW(Handle(Control::ProgressBar), PBM_SETRANGE32, 0, 100);
  SendMessageW(Handle(Control::ProgressBar), PBM_SETPOS, 0, 0);
}

void TMainForm::ShowCentred() {
  if (window_ == nullptr) return;
  RECT frame{};
  GetWindowRect(window_, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  shown_ = true;
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  // A box of the start-up that closes may hand the activation to the window
  // while it is still hidden (Wine does); then showing it activates nothing
  // new, and the window reports the activation it already has.
  if (!activatedShown_ && GetActiveWindow() == window_) OnActivate(true);
}

void TMainForm::Run() {
  MSG message{};
  while (window_ != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0) Deliver(message);
}

void TMainForm::Deliver(MSG& message) {
  // Tab and the buttons' keys as in a dialog.
  if (window_ != nullptr && IsDialogMessageW(window_, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

LRESULT TMainForm::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_MEASUREITEM:
      reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = form::kListRowHeight;
      return TRUE;
    case WM_DRAWITEM:
      if (checkList_ != nullptr && wParam == IdOf(Control::CheckListBox1)) {
        checkList_->Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      }
      return TRUE;
    case kClickCheckMessage:
      Dispatch(&FormEvents::CheckListBox1ClickCheck);
      return 0;
    case WM_ACTIVATE: {
      const bool active = LOWORD(wParam) != WA_INACTIVE;
      if (!active) focus_ = GetFocus();
      OnActivate(active);
      return 0;
    }
    case WM_SETCURSOR:
      if (busyCursor_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      // A disabled window cannot be closed by the user (an update that cannot
      // be cancelled is running); closes requested by the program go through.
      if (windowEnabled_) CloseNow();
      return 0;
    case kCloseRequest:
      CloseNow();
      return 0;
    case WM_NCDESTROY:
      window_ = nullptr;
      client_ = nullptr;
      controls_.fill(nullptr);
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void TMainForm::OnCommand(WORD id, WORD code) {
  if (!windowEnabled_) return;  // nothing of a disabled window is clicked
  if (id == IdOf(Control::DownLoadButton) && code == BN_CLICKED) Dispatch(&FormEvents::DownLoadButtonClick);
  if (id == IdOf(Control::CancelButton) && code == BN_CLICKED) Dispatch(&FormEvents::CancelButtonClick);
  if (id == kProxyIPMenuId) Dispatch(&FormEvents::ProxyIPMenuClick);
  if (id == kProxyPortMenuId) Dispatch(&FormEvents::ProxyPortMenuClick);
}

void TMainForm::OnActivate(bool active) {
  // A hidden window is not active for the core: the start-up may still be asking.
  if (!active || !shown_) return;
  activatedShown_ = true;
  // The focus comes back to the control that had it, as in a dialog.
  HWND focus = focus_ != nullptr && IsChild(window_, focus_) ? focus_ : Handle(Control::DownLoadButton);
  if (focus != nullptr && ::IsWindowVisible(focus)) SetFocus(focus);
  Dispatch(&FormEvents::FormActivate);
  FocusAControl();
}

void TMainForm::FocusAControl() {
  // Only the active window's controls take the focus: taking it would activate us.
  if (window_ == nullptr || !windowEnabled_ || GetActiveWindow() != window_) return;
  HWND focus = GetFocus();
  if (focus != nullptr && IsChild(client_, focus) && ::IsWindowEnabled(focus) && ::IsWindowVisible(focus))
    return;
  HWND first = GetNextDlgTabItem(client_, nullptr, FALSE);
  if (first != nullptr) SetFocus(first);
}

void TMainForm::CloseNow() {
  if (closing_ || window_ == nullptr) return;
  closing_ = true;
  Dispatch(&FormEvents::FormClose);
  if (window_ != nullptr) DestroyWindow(window_);
}

void TMainForm::SetCaption(Control control, std::string_view text) {
  const std::wstring shown = Wide(text);
  if (control == Control::ProgressLabel) FitProgressLabel(shown);
  SetWindowTextW(Handle(control), shown.c_str());
}

// Sized before the text is set, and moved without its old pixels, so that
// nothing of the previous text stays behind.
void TMainForm::FitProgressLabel(const std::wstring& text) {
  HWND label = Handle(Control::ProgressLabel);
  if (label == nullptr) return;
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, WindowFont(form::kFontPixels));
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  const int width = form::ProgressLabelWidth(extent.cx);
  const form::ControlPlace& home = form::PlaceOf(Control::ProgressLabel);
  RECT place{};
  GetWindowRect(label, &place);
  MapWindowPoints(nullptr, client_, reinterpret_cast<POINT*>(&place), 2);
  if (place.right - place.left == width) return;
  const RECT left = place;  // repainted by the panel where the label leaves it
  SetWindowPos(label, nullptr, home.left + home.width - width, place.top, width, place.bottom - place.top,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
  InvalidateRect(client_, &left, TRUE);
}

std::string TMainForm::Caption(Control control) const { return Narrow(WindowText(Handle(control))); }

void TMainForm::SetVisible(Control control, bool visible) {
  HWND child = Handle(control);
  // A hidden control passes the focus on, so that the keyboard still works.
  if (!visible && child != nullptr && GetFocus() == child) SetFocus(GetNextDlgTabItem(client_, child, FALSE));
  ShowWindow(child, visible ? SW_SHOWNA : SW_HIDE);
  FocusAControl();
}

bool TMainForm::IsVisible(Control control) const {
  return (GetWindowLongW(Handle(control), GWL_STYLE) & WS_VISIBLE) != 0;
}

void TMainForm::SetEnabled(Control control, bool enabled) {
  EnableWindow(Handle(control), enabled ? TRUE : FALSE);
  FocusAControl();
}

bool TMainForm::IsEnabled(Control control) const {
  HWND child = Handle(control);
  return child != nullptr && (GetWindowLongW(child, GWL_STYLE) & WS_DISABLED) == 0;
}

void TMainForm::Repaint(Control control) {
  RedrawWindow(Handle(control), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void TMainForm::SetWindowEnabled(bool enabled) {
  windowEnabled_ = enabled;
  if (window_ == nullptr) return;
  // The keyboard reaches a focused control even under a disabled panel: the
  // form keeps the focus meanwhile, and hands it back.
  if (!enabled && IsChild(client_, GetFocus())) {
    focus_ = GetFocus();
    SetFocus(window_);
  }
  EnableWindow(client_, enabled ? TRUE : FALSE);
  if (enabled && GetFocus() == window_ && focus_ != nullptr && ::IsWindowVisible(focus_)) SetFocus(focus_);
  EnableMenuItem(menu_, 0, MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
  DrawMenuBar(window_);
  FocusAControl();
}

void TMainForm::SetClientSize(int width, int height) {
  if (window_ == nullptr) return;
  RECT frame{0, 0, width, height};
  AdjustWindowRectEx(&frame, kFormStyle, TRUE, 0);
  SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The menu bar's real height may differ from the system's estimate.
  RECT client{};
  GetClientRect(window_, &client);
  const int missing = height - (client.bottom - client.top);
  if (missing != 0) {
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + missing,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  MoveWindow(client_, 0, 0, width, height, TRUE);
}

void TMainForm::SetBusyCursor(bool busy) {
  busyCursor_ = busy;
  SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

bool TMainForm::IsChecked(int index) const { return checkList_->IsChecked(index); }
void TMainForm::SetChecked(int index, bool checked) { checkList_->SetChecked(index, checked); }
int TMainForm::CurrentItem() const { return checkList_->CurrentIndex(); }

void TMainForm::SetProgress(int position) {
  SendMessageW(Handle(Control::ProgressBar), PBM_SETPOS, position, 0);
}

int TMainForm::Progress() const {
  return static_cast<int>(SendMessageW(Handle(Control::ProgressBar), PBM_GETPOS, 0, 0));
}

BoxAnswer TMainForm::ShowBox(BoxKind kind, std::string_view text) {
  return ShowMessageBox(window_, kind, text, caption_);
}

std::string TMainForm::InputBox(std::string_view caption, std::string_view prompt, std::string_view text) {
  return ShowInputBox(window_, caption, prompt, text).value_or(std::string(text));
}

std::optional<form::ProxyLogin> TMainForm::AskProxyLogin(std::string_view prompt) {
  return ShowLoginBox(window_, prompt);
}

void TMainForm::PostClose() {
  if (window_ != nullptr) PostMessageW(window_, kCloseRequest, 0, 0);
}

void TMainForm::Close() { CloseNow(); }

void TMainForm::ProcessMessages(int maxWaitMs) {
  // Blocks until a message arrives or the time is up; no spinning.
  if (maxWaitMs > 0) {
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(maxWaitMs), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that ends on it
      break;
    }
    Deliver(message);
  }
}

}  // namespace sorana::ui::win32
