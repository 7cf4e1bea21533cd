// The two registry keys the start-up touches: the product key below
// HKEY_LOCAL_MACHINE (value "Exename", the installed main program) and the
// engine option key below HKEY_CURRENT_USER. Every failure is ignored.
#pragma once

#include <string>

namespace sorana::app {

inline constexpr const char* kProductKey = "SOFTWARE\\ヴェルモラ\\ソラナギ";
inline constexpr const char* kEngineOptionKey = "Software\\ZUDUR011\\JanSDK8\\2004.0.1\\ENGOPTION\\PD0000R";

// An "Exename" that points into OLD_BIN\ is rewritten, upper-cased, without
// that folder (C:\X\OLD_BIN\fotodesk.exe -> C:\X\FOTODESK.EXE).
void RepairRegisteredProgramPath();

// Writes "ReadOption" as 12 zero bytes, creating the key when missing.
void ResetEngineReadOption();

// Folder part of "Exename", with its trailing backslash; empty when there is none.
std::string RegisteredProductFolder();

}  // namespace sorana::app
