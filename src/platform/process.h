// Starting a Windows program of the prefix through wine, and waiting for it.
#pragma once

#include <functional>
#include <string_view>

namespace sorana::platform {

// Runs the Windows command line (a quoted or bare program path, then its
// arguments) through `wine` found on PATH, with WINEPREFIX set to the active
// prefix. While it runs, `pump` is called repeatedly; each call may block up to
// the given milliseconds waiting for window messages, so the wait does not spin.
// False, silently, when the program cannot be started.
bool RunAndWait(std::string_view commandLine, const std::function<void(int maxWaitMs)>& pump);

}  // namespace sorana::platform
