// An update window with nothing behind it, for headless uses of the core (the
// fuzzers, the benchmarks): it records nothing and answers every box with OK.
#pragma once

#include <string>
#include <string_view>

#include "form/update_window.h"

namespace sorana::app {

class NullWindow : public UpdateWindow {
 public:
  void SetCaption(Control, std::string_view) override {}
  std::string Caption(Control) const override { return {}; }
  void SetVisible(Control, bool) override {}
  bool IsVisible(Control) const override { return true; }
  void SetEnabled(Control, bool) override {}
  bool IsEnabled(Control) const override { return true; }
  void Repaint(Control) override {}
  void SetWindowEnabled(bool) override {}
  bool IsWindowEnabled() const override { return true; }
  void SetClientSize(int, int) override {}
  void SetBusyCursor(bool) override {}
  bool IsChecked(int) const override { return false; }
  void SetChecked(int, bool) override {}
  int CurrentItem() const override { return 0; }
  void SetProgress(int) override {}
  int Progress() const override { return 0; }
  BoxAnswer ShowBox(BoxKind, std::string_view) override { return BoxAnswer::Ok; }
  std::string InputBox(std::string_view, std::string_view, std::string_view text) override {
    return std::string(text);
  }
  std::optional<ProxyLogin> AskProxyLogin(std::string_view) override { return std::nullopt; }
  void PostClose() override {}
  void Close() override {}
  void ProcessMessages(int) override {}
};

}  // namespace sorana::app
