// Starting a Windows program of the installation's system (on Linux through
// wine in its prefix), and waiting for it.
#pragma once

#include <chrono>
#include <functional>
#include <string_view>

namespace sorana::platform {

// How RunAndWait waits.
struct ProcessWait {
  // Called repeatedly while the program runs; each call may block up to the
  // given milliseconds waiting for window messages, so the wait does not spin.
  std::function<void(int maxWaitMs)> pump;
  // Asked between pumps; false ends the program at once (the window closed).
  std::function<bool()> keepWaiting;
  // After this long the program is ended, with everything it started.
  std::chrono::milliseconds bound = std::chrono::milliseconds::max();
};

enum class RunOutcome {
  NotStarted,  // no program, no wine, or the start failed
  Exited,      // the program ended by itself
  Ended,       // it was ended: the bound passed or the wait was given up
};

// Runs the Windows command line (a quoted or bare program path, then its
// arguments) through `wine` found on PATH, with WINEPREFIX set to the active
// prefix, in a session of its own so that ending it ends all it started.
// Wine's debugger is switched off for it: a program that crashes ends instead
// of waiting for a debugger nobody answers.
RunOutcome RunAndWait(std::string_view commandLine, const ProcessWait& wait);

}  // namespace sorana::platform
