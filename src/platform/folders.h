// The prefix's Windows folder and the temporary folder as Windows paths.
#pragma once

#include <string>

namespace sorana::platform {

// "C:\windows", without trailing backslash; the empty text when the prefix has no C: drive.
std::string GetWindowsFolder();
// TMPDIR (else /tmp) as a Windows path through the drive that maps it, with
// exactly one trailing backslash; "C:\windows\temp\" when no drive maps it.
std::string GetTempFolder();

}  // namespace sorana::platform
