// The updater's expansion loop over downloads in a Wine-style prefix:
//   expand_ours PREFIX WINDOWS_FOLDER NAME...
// (the folder ends in a backslash). The window is one with nothing behind it.
#include <iostream>
#include <string>

#include "form/app_error.h"
#include "install/expand_downloads.h"
#include "platform/windows_system.h"
#include "support/fake_window.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: expand_ours PREFIX WINDOWS_FOLDER NAME...\n";
    return 2;
  }
  sorana::platform::SetActiveSystem(sorana::platform::WindowsSystem(argv[1]));
  sorana::form::FormState state;
  state.DownloadFolder = argv[2];
  for (int i = 3; i < argc; ++i) state.FileList.emplace_back(argv[i]);
  sorana::test::FakeWindow window;
  try {
    sorana::install::ExpandDownloads(state, window);
  } catch (const std::exception& error) {
    std::cerr << error.what() << "\n";
    return 1;
  }
  return 0;
}
