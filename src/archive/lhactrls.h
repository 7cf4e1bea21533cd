// Run-time binding of the LHA archive library (libunlha32.so on Linux,
// UNLHA32.DLL on Windows): 41 entry slots, each bound to the library's export of
// that name or to a fall-back that shows the "PANIC!!" box. The entries use the
// standard calling convention of library interfaces (__stdcall on Windows).
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace sorana::archive {

// Result of ExtractLha when the library (or its Unlha entry) is missing: the
// archive was not extracted, so the result must not read as success.
inline constexpr int kLhaNotLoaded = -1;
// Result of ExtractLha when a path has a character the library's ANSI code page
// (932 on Windows) lacks: the library cannot be given it, so nothing is extracted.
inline constexpr int kLhaPathNotAnsi = -2;

// Shows the fall-back's box (caption "PANIC!!", no owner window, error icon, OK).
// The window connects it; without one the text goes to standard error.
void SetPanicHandler(std::function<void(std::string_view text)> handler);

// Loads the library by bare name: "UNLHA32.DLL" on Windows (the system's search
// order, so the copy beside the program is found first), "libunlha32.so" on
// Linux (the executable's run path, then beside it). A missing library is not
// reported here.
void LoadLhaLibrary();    // once at program start, before the window exists
void UnloadLhaLibrary();  // once at program end; the slots return to their fall-backs

// Extracts `archive` below `folder` (given without trailing backslash) through
// the library's Unlha entry; returns its result (0 for success), kLhaNotLoaded
// after the "PANIC!!" box when the entry is missing, kLhaPathNotAnsi when a
// path cannot be put in the library's code page.
int ExtractLha(std::string_view archive, std::string_view folder);

// The library's output of the last ExtractLha (its message, in UTF-8), cut at
// the first NUL.
std::string LastLhaOutput();

}  // namespace sorana::archive
