// Unpress: expands the downloaded files of a phase, installs them and cleans
// the download folder.
#pragma once

#include "form/form_state.h"
#include "form/update_window.h"
#include "install/install_journal.h"

namespace sorana::install {

class Installer {
 public:
  Installer(form::FormState& state, form::UpdateWindow& window) : state_(state), window_(window) {}

  // True when the phase was installed (after the new-version phase the window has
  // shown the completion box and been closed). False after a failure: the
  // failure box was shown and the window closed. `journal` learns each step
  // that cannot be repeated, and tells where an earlier attempt stopped: an
  // installed phase is only cleaned up, a half-installed one goes on.
  bool Unpress(InstallJournal& journal);

 private:
  // Removes the downloaded files and their expanded copies (not the backup).
  void CleanDownloadFolder();

  form::FormState& state_;
  form::UpdateWindow& window_;
};

}  // namespace sorana::install
