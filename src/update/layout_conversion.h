// The first run's conversion of a one-folder installation to the two-folder
// layout: the installed programs move to OLD_BIN, the viewer, templates and
// layouts are set up in NEW_BIN, and the viewer control is registered again
// from its new place.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"

namespace sorana::update {

// How long the viewer registration may run before it is ended, with all it
// started, and the conversion goes on. regsvr32 ends in well under a second;
// a program that hangs (or crashes into a debugger) must not hold the update.
inline constexpr std::chrono::seconds kViewerRegistrationBound{60};

// The registration command line of the viewer control below `installRoot`
// (ends in a backslash).
std::string ViewerRegistrationCommand(std::string_view installRoot);

// The conversion's first part: every entry of the install root moves into
// OLD_BIN, but for `keep` (the updater's own VMSORANA.INI, which may lie in the
// install root, so the proxy and folder settings survive; the run's record)
// and OLD_BIN itself. Done again after a stop, it moves what is left.
void MoveInstallationToOldBin(std::string_view installRoot, const std::vector<std::string>& keep);

// The rest: the viewer, templates and layouts are set up in NEW_BIN and the
// viewer control is registered again from its new place. Every step of it
// may be done again. `registration` says how the registration is waited for
// (window messages, the bound, giving up when the window closes).
void SetUpNewBin(std::string_view installRoot, const platform::ProcessWait& registration);

// Both parts. Failures are not reported: a missing file, or a registration
// that cannot start or is ended, is passed over.
void ConvertLayout(std::string_view installRoot, std::string_view settingsFile,
                   const platform::ProcessWait& registration);

}  // namespace sorana::update
