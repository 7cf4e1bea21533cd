// Which activations of the window run FormActivate: the first one, and each
// one that comes back from a box or dialog of the updater. An activation that
// another program hands back does not: during a download it would put the
// start prompt over the progress message.
//
// The gate stands between the core and the window and learns of every box
// the core opens on its way through; the window reports the boxes it opens
// on its own. So each window only reports its activations.
#pragma once

#include <string>
#include <string_view>

#include "form/update_window.h"

namespace sorana::app {

class ActivationGate final : public form::UpdateWindow {
 public:
  explicit ActivationGate(form::UpdateWindow& window) : window_(window) {}

  // The window became active. True when FormActivate is to run.
  bool Activated();
  // A box or dialog of the updater is opening; the activation after it counts.
  void OwnBoxOpening() { ownBoxOpened_ = true; }

  // UpdateWindow, forwarded to the window.
  void SetCaption(form::Control control, std::string_view text) override {
    window_.SetCaption(control, text);
  }
  std::string Caption(form::Control control) const override { return window_.Caption(control); }
  void SetVisible(form::Control control, bool visible) override { window_.SetVisible(control, visible); }
  bool IsVisible(form::Control control) const override { return window_.IsVisible(control); }
  void SetEnabled(form::Control control, bool enabled) override { window_.SetEnabled(control, enabled); }
  bool IsEnabled(form::Control control) const override { return window_.IsEnabled(control); }
  void Repaint(form::Control control) override { window_.Repaint(control); }
  void SetWindowEnabled(bool enabled) override { window_.SetWindowEnabled(enabled); }
  bool IsWindowEnabled() const override { return window_.IsWindowEnabled(); }
  void SetClientSize(int width, int height) override { window_.SetClientSize(width, height); }
  void SetBusyCursor(bool busy) override { window_.SetBusyCursor(busy); }
  bool IsChecked(int index) const override { return window_.IsChecked(index); }
  void SetChecked(int index, bool checked) override { window_.SetChecked(index, checked); }
  int CurrentItem() const override { return window_.CurrentItem(); }
  void SetProgress(int position) override { window_.SetProgress(position); }
  int Progress() const override { return window_.Progress(); }
  form::BoxAnswer ShowBox(form::BoxKind kind, std::string_view text) override;
  std::string InputBox(std::string_view caption, std::string_view prompt, std::string_view text) override;
  std::optional<form::ProxyLogin> AskProxyLogin(std::string_view prompt) override;
  void PostClose() override { window_.PostClose(); }
  void Close() override { window_.Close(); }
  void ProcessMessages(int maxWaitMs) override { window_.ProcessMessages(maxWaitMs); }

 private:
  form::UpdateWindow& window_;
  bool activatedBefore_ = false;
  bool ownBoxOpened_ = false;
};

}  // namespace sorana::app
