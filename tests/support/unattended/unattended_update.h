// One whole update without a user: start-up, activation and the start-update
// button on the core, with the stand-in window answering every question
// "Yes". Works on the active prefix and the server in SORANA_UPDATE_SERVER.
#pragma once

#include <string>
#include <vector>

#include "support/fake_window.h"

namespace sorana::unattended {

struct UpdateOutcome {
  // The completion box was shown and the window closed: nothing else counts
  // as a finished update.
  bool completed = false;
  std::vector<test::ShownBox> boxes;
  std::string failure;  // why the run stopped early, empty when it ran through
};

// The archive library must be loaded (archive::LoadLhaLibrary) beforehand.
UpdateOutcome RunUnattendedUpdate();

// The outcome for a terminal: the failure and every box, one per line.
std::string Describe(const UpdateOutcome& outcome);

}  // namespace sorana::unattended
