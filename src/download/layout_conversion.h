// The first run's conversion of a one-folder installation to the two-folder
// layout: the installed programs move to OLD_BIN, the viewer, templates and
// layouts are set up in NEW_BIN, and the viewer control is registered again
// from its new place.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace sorana::download {

// The registration command line of the viewer control below `installRoot`
// (ends in a backslash).
std::string ViewerRegistrationCommand(std::string_view installRoot);

// Converts the layout below `installRoot`. `settingsFile` (the updater's own
// VMSORANA.INI, which may lie in the install root) stays where it is, so the
// proxy and folder settings survive the first update. `pump` processes window
// messages while the registration runs. Failures are not reported: a missing
// file, or a registration that cannot start, is passed over.
void ConvertLayout(std::string_view installRoot, std::string_view settingsFile,
                   const std::function<void(int maxWaitMs)>& pump);

}  // namespace sorana::download
