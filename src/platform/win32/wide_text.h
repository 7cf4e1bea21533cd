// UTF-8 texts of the program and the UTF-16 texts of the wide-character API,
// and Win32 error codes in the errno terms the host layer records.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sorana::platform::win32 {

// nullopt when the input is not valid UTF-8 / UTF-16 (lone surrogates included).
std::optional<std::wstring> Widen(std::string_view utf8);
std::optional<std::string> Narrow(std::wstring_view utf16);

// The errno value for a Win32 error code (EIO for the ones without a match).
int ErrnoOf(unsigned long win32Error);
// The system's code for an errno value the host layer recorded itself
// (ERROR_ACCESS_DENIED for EACCES, ...), for the boxes that show the system's.
unsigned long SystemCodeOf(int errnoCode);
// Records both codes of a failure; SetHostError records an errno value and its SystemCodeOf.
void SetHostErrors(int errnoCode, unsigned long systemCode);
// Records the calling thread's GetLastError() as the host layer's last error; false.
bool FailWithLastError();
// Records `code` (an errno value) as the last error; false.
bool Fail(int code);

}  // namespace sorana::platform::win32
