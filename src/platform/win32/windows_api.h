// <windows.h> for the Win32 host files, included after our own headers.
//
// The host layer's functions CopyFile, DeleteFile, CreateDirectory,
// GetFileAttributes, SetFileAttributes and WriteProfileString share their names with macros of
// <windows.h> that would rename our definitions to the API's W functions; the
// macros are removed here and the W functions are always called by name.
#pragma once

#include <windows.h>

#undef CopyFile
#undef DeleteFile
#undef CreateDirectory
#undef GetFileAttributes
#undef SetFileAttributes
#undef WriteProfileString
