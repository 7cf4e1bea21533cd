// The updater's expansion loop over downloads in a Wine-style prefix:
//   expand_ours PREFIX WINDOWS_FOLDER NAME...
// (the folder ends in a backslash). The window is a silent stand-in.
#include <iostream>
#include <string>

#include "app/app_error.h"
#include "install/expand_downloads.h"
#include "platform/win_path.h"

namespace {

class SilentWindow : public sorana::app::UpdateWindow {
 public:
  void SetCaption(sorana::app::Control, std::string_view) override {}
  std::string Caption(sorana::app::Control) const override { return {}; }
  void SetVisible(sorana::app::Control, bool) override {}
  bool IsVisible(sorana::app::Control) const override { return true; }
  void SetEnabled(sorana::app::Control, bool) override {}
  bool IsEnabled(sorana::app::Control) const override { return true; }
  void Repaint(sorana::app::Control) override {}
  void SetWindowEnabled(bool) override {}
  bool IsWindowEnabled() const override { return true; }
  void SetClientSize(int, int) override {}
  void SetBusyCursor(bool) override {}
  bool IsChecked(int) const override { return false; }
  void SetChecked(int, bool) override {}
  int CurrentItem() const override { return 0; }
  void SetProgress(int) override {}
  int Progress() const override { return 0; }
  sorana::app::BoxAnswer ShowBox(sorana::app::BoxKind, std::string_view) override {
    return sorana::app::BoxAnswer::Ok;
  }
  std::string InputBox(std::string_view, std::string_view, std::string_view text) override {
    return std::string(text);
  }
  void PostClose() override {}
  void Close() override {}
  void ProcessMessages(int) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: expand_ours PREFIX WINDOWS_FOLDER NAME...\n";
    return 2;
  }
  sorana::platform::SetActivePrefix(sorana::platform::WinePrefix(argv[1]));
  sorana::app::FormState state;
  state.DownloadFolder = argv[2];
  for (int i = 3; i < argc; ++i) state.FileList.emplace_back(argv[i]);
  SilentWindow window;
  try {
    sorana::install::ExpandDownloads(state, window);
  } catch (const std::exception& error) {
    std::cerr << error.what() << "\n";
    return 1;
  }
  return 0;
}
