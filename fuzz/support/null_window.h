// An update window with nothing behind it, for the code under fuzzing that
// wants one: it records nothing and answers every box with OK.
#pragma once

#include "app/update_window.h"

namespace sorana::fuzz {

class NullWindow : public app::UpdateWindow {
 public:
  void SetCaption(app::Control, std::string_view) override {}
  std::string Caption(app::Control) const override { return {}; }
  void SetVisible(app::Control, bool) override {}
  bool IsVisible(app::Control) const override { return true; }
  void SetEnabled(app::Control, bool) override {}
  bool IsEnabled(app::Control) const override { return true; }
  void Repaint(app::Control) override {}
  void SetWindowEnabled(bool) override {}
  bool IsWindowEnabled() const override { return true; }
  void SetClientSize(int, int) override {}
  void SetBusyCursor(bool) override {}
  bool IsChecked(int) const override { return false; }
  void SetChecked(int, bool) override {}
  int CurrentItem() const override { return 0; }
  void SetProgress(int) override {}
  int Progress() const override { return 0; }
  app::BoxAnswer ShowBox(app::BoxKind, std::string_view) override { return app::BoxAnswer::Ok; }
  std::string InputBox(std::string_view, std::string_view, std::string_view text) override {
    return std::string(text);
  }
  void PostClose() override {}
  void Close() override {}
  void ProcessMessages(int) override {}
};

}  // namespace sorana::fuzz
