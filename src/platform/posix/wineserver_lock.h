// Whether a wineserver runs for a prefix: it keeps the registry in memory and
// would overwrite the files with its own copy, so they are not written then.
#pragma once

#include "platform/windows_system.h"

namespace sorana::platform {

// True when a wineserver holds the lock of this prefix.
bool WineServerRunning(const WindowsSystem& prefix);

}  // namespace sorana::platform
