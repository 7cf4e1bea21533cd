// sorana-updater: brings an installed ソラナギ in the Wine prefix (WINEPREFIX,
// else ~/.wine) to the version it carries. It takes no command-line arguments.
#include <QApplication>

#include "app/main_form.h"
#include "archive/lhactrls.h"
#include "form/window_layout.h"
#include "ui/qt/tmain_form.h"
#include "ui/qt/window_font.h"

namespace {

int RunUpdater(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setFont(sorana::ui::qt::WindowFont(sorana::form::kFontPixels));
  sorana::ui::qt::TMainForm window;
  sorana::app::MainForm form(window);
  window.SetEvents(&form);

  bool proceed = false;
  if (!window.Guarded([&] { proceed = form.FormCreate(); })) return 1;
  if (!proceed) return 0;  // no installed product: end silently
  window.ShowCentred();
  int result = QApplication::exec();
  window.SetEvents(nullptr);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  sorana::archive::LoadLhaLibrary();
  int result = RunUpdater(argc, argv);
  sorana::archive::UnloadLhaLibrary();
  return result;
}
