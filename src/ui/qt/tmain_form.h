// The update window on Qt Widgets: every control at its fixed place, the menu
// "設定", the modal boxes and the message processing the core waits with.
//
// Every event handler reaches the core through Guarded, which shows an escaping
// exception in an error box: exceptions never cross Qt's event loop.
#pragma once

#include <QMainWindow>
#include <map>
#include <utility>

#include "form/form_events.h"
#include "form/guarded_event.h"
#include "form/update_window.h"
#include "form/window_layout.h"

class QAction;
class QLabel;
class QProgressBar;
class QPushButton;

namespace sorana::ui::qt {

class TCheckListBox;

class TMainForm : public QMainWindow, public form::UpdateWindow {
  Q_OBJECT

 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // The handlers the window's events go to; null drops them.
  void SetEvents(form::FormEvents* events) { events_ = events; }
  // Shows the window in the centre of the screen.
  void ShowCentred();

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

  // The widget of a control (for tests and the tab order).
  QWidget* Widget(form::Control control) const { return controls_.at(control); }
  QWidget* ClientArea() const { return centralWidget(); }
  QAction* ProxyIPMenu() const { return proxyIPMenu_; }
  QAction* ProxyPortMenu() const { return proxyPortMenu_; }

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  QWidget* MakeControl(const form::ControlPlace& place, QWidget* client);
  void BuildMenu();
  void ReturnActivation();
  // Runs a handler of the core, if any are attached.
  void Dispatch(void (form::FormEvents::*handler)()) { form::DispatchGuarded(*this, events_, handler); }

  form::FormEvents* events_ = nullptr;
  std::map<form::Control, QWidget*> controls_;
  TCheckListBox* checkList_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QAction* proxyIPMenu_ = nullptr;
  QAction* proxyPortMenu_ = nullptr;
  bool windowEnabled_ = true;
  bool busyCursor_ = false;
};

}  // namespace sorana::ui::qt
