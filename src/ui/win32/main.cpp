// sorana-updater.exe: brings the installed ソラナギ to the version it carries.
// It takes no command-line arguments.
#include "app/main_form.h"
#include "archive/lhactrls.h"
#include "ui/win32/tmain_form.h"

namespace {

int RunUpdater() {
  sorana::ui::win32::TMainForm window;
  sorana::app::MainForm form(window);
  window.SetEvents(&form);

  bool proceed = false;
  if (!window.Guarded([&] { proceed = form.FormCreate(); })) return 1;
  if (proceed) {  // else no installed product: end silently
    window.ShowCentred();
    window.Run();
  }
  window.SetEvents(nullptr);
  return 0;
}

}  // namespace

int main() {
  sorana::archive::LoadLhaLibrary();
  const int result = RunUpdater();
  sorana::archive::UnloadLhaLibrary();
  return result;
}
