// Start-up, activation and close of the update window.
#pragma once

#include "form/form_state.h"
#include "form/update_window.h"

namespace sorana::app {

inline constexpr const char* kMainProgramName = "fotodesk.exe";

class FormLifecycle {
 public:
  FormLifecycle(form::FormState& state, form::UpdateWindow& window) : state_(state), window_(window) {}

  // Repairs the registry, reads the settings, finds the install root and the
  // installed version, asks before overwriting an equal or newer version, loads
  // the standards and shows the notice. False when no install root was found:
  // the program must end at once, without a message and without FormClose.
  bool FormCreate();

  // The activation steps (MainForm decides which activations run them): makes
  // the start button usable, or, after a declined start-up, asks the window to close.
  void FormActivate();

  // Records the standards in WorkFolder and copies the record to the install
  // root. A failed record is shown in an error box; the close goes on. Nothing
  // is recorded when the list was never loaded (declined start-up).
  void FormClose();

 private:
  void ReadSettings();
  void AskBeforeOverwrite();

  form::FormState& state_;
  form::UpdateWindow& window_;
};

}  // namespace sorana::app
