// <windows.h> for the Win32 host files, included after our own headers.
//
// None of the host layer's names is one of the A/W macros of <windows.h>, so the
// header is taken as it is; the W functions are always called by name.
#pragma once

#include <windows.h>
