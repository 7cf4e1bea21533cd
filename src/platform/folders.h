// The prefix's Windows folder and the temporary folder as Windows paths.
#pragma once

#include <string>

namespace sorana::platform {

// "C:\windows", without trailing backslash; the empty text when the prefix has no C: drive.
std::string GetWindowsFolder();

// The temporary folder of a program in the active prefix, with exactly one
// trailing backslash: the value "TEMP" of HKCU\Environment in user.reg, expanded
// as Wine expands it, in long form (each component spelled as on disk), when it
// names an existing folder of ours that nobody else may write. Otherwise a
// folder of our own below TMPDIR (else /tmp), "sorana-<uid>", created with mode
// 0700 (a fresh "sorana-<uid>-XXXXXX" when another user holds that name), as a
// Windows path through the drive that maps it; "C:\windows\temp\" when no drive
// maps TMPDIR.
std::string GetTempFolder();

}  // namespace sorana::platform
