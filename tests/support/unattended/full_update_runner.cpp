// The whole update, unattended, on the prefix in WINEPREFIX and the server in
// SORANA_UPDATE_SERVER. Exits 0 only when the update completed; otherwise
// says why on standard error, with every box the run showed.
#include <iostream>

#include "archive/lhactrls.h"
#include "unattended/unattended_update.h"

int main() {
  sorana::archive::LoadLhaLibrary();
  sorana::unattended::UpdateOutcome outcome = sorana::unattended::RunUnattendedUpdate();
  sorana::archive::UnloadLhaLibrary();
  if (outcome.completed) return 0;
  std::cerr << "full-update runner: " << sorana::unattended::Describe(outcome);
  return 1;
}
