// The update window on the Win32 API: every control at its fixed place in a
// client area of 506 x 288 pixels, the menu "設定", the modal boxes and the
// message processing the core waits with.
//
// Every event reaches the core through Guarded, which shows an escaping
// exception in an error box: no exception crosses the window procedure.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <utility>

#include "form/form_events.h"
#include "form/guarded_event.h"
#include "form/update_window.h"

namespace sorana::ui::win32 {

class TCheckListBox;

class TMainForm final : public form::UpdateWindow {
 public:
  static constexpr UINT kProxyIPMenuId = 201;
  static constexpr UINT kProxyPortMenuId = 202;

  // Creates the window hidden, with every control.
  TMainForm();
  ~TMainForm() override;
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // The handlers the window's events go to; null drops them.
  void SetEvents(form::FormEvents* events) { events_ = events; }
  // Shows the window in the centre of the screen and activates it.
  void ShowCentred();
  // The program's message loop: returns when the window has closed.
  void Run();

  // Runs `handler`; an exception it raises is shown in an error box. False then.
  template <typename Handler>
  bool Guarded(Handler&& handler) {
    return form::RunGuarded(*this, events_, std::forward<Handler>(handler));
  }

  // UpdateWindow.
  void SetCaption(form::Control control, std::string_view text) override;
  std::string Caption(form::Control control) const override;
  void SetVisible(form::Control control, bool visible) override;
  bool IsVisible(form::Control control) const override;
  void SetEnabled(form::Control control, bool enabled) override;
  bool IsEnabled(form::Control control) const override;
  void Repaint(form::Control control) override;
  void SetWindowEnabled(bool enabled) override;
  bool IsWindowEnabled() const override { return windowEnabled_; }
  void SetClientSize(int width, int height) override;
  void SetBusyCursor(bool busy) override;
  bool IsChecked(int index) const override;
  void SetChecked(int index, bool checked) override;
  int CurrentItem() const override;
  void SetProgress(int position) override;
  int Progress() const override;
  form::BoxAnswer ShowBox(form::BoxKind kind, std::string_view text) override;
  std::string InputBox(std::string_view caption, std::string_view prompt, std::string_view text) override;
  std::optional<form::ProxyLogin> AskProxyLogin(std::string_view prompt) override;
  void PostClose() override;
  void Close() override;
  void ProcessMessages(int maxWaitMs = 0) override;

  // The window and its controls (null once the window is gone).
  HWND Handle() const { return window_; }
  HWND Handle(form::Control control) const { return controls_[Index(control)]; }

 private:
  static constexpr size_t kControlCount = static_cast<size_t>(form::Control::CancelButton) + 1;
  static size_t Index(form::Control control) { return static_cast<size_t>(control); }
  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  void BuildMenu();
  void BuildControls();
  LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(WORD id, WORD code);
  void OnActivate(bool active);
  // When no control of the panel holds the keyboard focus, the first that can
  // take it in the tab order gets it, so that Space and Enter work at once.
  void FocusAControl();
  void FitProgressLabel(const std::wstring& text);
  // Runs a handler of the core, if any are attached.
  void Dispatch(void (form::FormEvents::*handler)()) { form::DispatchGuarded(*this, events_, handler); }
  void CloseNow();
  void Deliver(MSG& message);

  form::FormEvents* events_ = nullptr;
  HWND window_ = nullptr;
  HWND client_ = nullptr;  // the panel the controls sit on; disabled with the window
  HMENU menu_ = nullptr;
  HWND focus_ = nullptr;  // the control that had the focus when activation left
  std::array<HWND, kControlCount> controls_{};
  std::unique_ptr<TCheckListBox> checkList_;
  std::wstring caption_;
  bool windowEnabled_ = true;
  bool busyCursor_ = false;
  bool closing_ = false;
  bool shown_ = false;  // activations count only once the window shows
  bool activatedShown_ = false;
};

}  // namespace sorana::ui::win32
