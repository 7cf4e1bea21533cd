// RunAndWait with the bound given: the wait behind RunAndWait, open to the
// tests, which cannot wait the full minute.
#pragma once

#include <chrono>
#include <functional>
#include <string_view>

namespace sorana::platform::win32 {

// True when the program ended by itself within `bound`; false when it could not
// be started, or when it was stopped at the bound with everything it started.
bool RunBounded(std::string_view commandLine, const std::function<void(int maxWaitMs)>& pump,
                std::chrono::milliseconds bound);

}  // namespace sorana::platform::win32
