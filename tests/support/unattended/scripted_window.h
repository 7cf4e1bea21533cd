// A headless update window for unattended runs: keeps the state the core sets,
// answers every question "Yes" and every other box "OK", and delivers a posted
// close request the next time messages are processed, as the message loop
// would.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "form/update_window.h"

namespace sorana::unattended {

struct ShownBox {
  app::BoxKind kind;
  std::string text;
};

class ScriptedWindow : public app::UpdateWindow {
 public:
  void SetCaption(app::Control control, std::string_view text) override;
  std::string Caption(app::Control control) const override;
  void SetVisible(app::Control control, bool visible) override;
  bool IsVisible(app::Control control) const override;
  void SetEnabled(app::Control control, bool enabled) override;
  bool IsEnabled(app::Control control) const override;
  void Repaint(app::Control) override {}
  void SetWindowEnabled(bool enabled) override { windowEnabled_ = enabled; }
  bool IsWindowEnabled() const override { return windowEnabled_; }
  void SetClientSize(int, int) override {}
  void SetBusyCursor(bool) override {}
  bool IsChecked(int index) const override;
  void SetChecked(int index, bool checked) override;
  int CurrentItem() const override { return 0; }
  void SetProgress(int position) override { progress_ = position; }
  int Progress() const override { return progress_; }
  app::BoxAnswer ShowBox(app::BoxKind kind, std::string_view text) override;
  std::string InputBox(std::string_view caption, std::string_view prompt, std::string_view text) override;
  std::optional<app::ProxyLogin> AskProxyLogin(std::string_view) override { return std::nullopt; }
  void PostClose() override { closePosted_ = true; }
  void Close() override;
  void ProcessMessages(int maxWaitMs) override;

  // Runs when the window closes (wired to the form's FormClose).
  std::function<void()> onClose;

  // Every box shown, in order. A run shows only a handful.
  const std::vector<ShownBox>& Boxes() const { return boxes_; }
  bool Closed() const { return closed_; }

 private:
  struct ControlState {
    std::string caption;
    bool visible = true;
    bool enabled = true;
  };
  std::map<app::Control, ControlState> controls_;
  std::array<bool, 22> checks_{};
  std::vector<ShownBox> boxes_;
  int progress_ = 0;
  bool windowEnabled_ = true;
  bool closePosted_ = false;
  bool closed_ = false;
};

}  // namespace sorana::unattended
