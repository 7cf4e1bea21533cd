// UTF-8 texts of the program and the UTF-16 texts of the wide-character API,
// and Win32 error codes as the host layer's failures, in errno's terms beside
// the system's own number.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace sorana::platform::win32 {

// nullopt when the input is not valid UTF-8 / UTF-16 (lone surrogates included).
std::optional<std::wstring> Widen(std::string_view utf8);
std::optional<std::string> Narrow(std::wstring_view utf16);

// The errno value for a Win32 error code (EIO for the ones without a match).
int ErrnoOf(unsigned long win32Error);
// The system's code for an errno value the host layer recorded itself
// (ERROR_ACCESS_DENIED for EACCES, ...), for the boxes that show the system's.
unsigned long SystemCodeOf(int errnoCode);
// The failure a Win32 call reported with `code` (GetLastError's, or the status
// a registry call returns): ErrnoOf(code) with the code itself as the system's.
// The caller reads GetLastError right after the failing call, before any
// clean-up call can replace it.
HostError SystemError(unsigned long code, std::string what = {});

}  // namespace sorana::platform::win32
