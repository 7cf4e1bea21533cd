// The names of the temporary files written beside their target (AtomicFile's
// and the copies'): ".sorana-<pid>-<n>.tmp", the shape the sweep of a stopped
// run recognises (win32/stale_temporaries.cpp).
#pragma once

#include <filesystem>

namespace sorana::platform::win32 {

// The next such name in `folder`. It may be taken: the caller creates it
// exclusively and asks again.
std::filesystem::path NextTemporaryName(const std::filesystem::path& folder);

}  // namespace sorana::platform::win32
