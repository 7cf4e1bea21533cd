// Libraries bound at run time: load by name or path, look up an export, unload.
//
// A library that cannot be loaded gives a null handle and nothing else: callers
// that bind optional libraries keep their own fall-backs for that case.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The calling convention of library interfaces on this host (__stdcall, WINAPI,
// on 32-bit Windows), for the function types of bound entries.
#ifdef _WIN32
#define SORANA_LIBRARY_CALL __stdcall
#else
#define SORANA_LIBRARY_CALL
#endif

namespace sorana::platform {

// Opaque; null when nothing is loaded.
using LibraryHandle = void*;

// Loads the library of this host named by `baseName` ("unlha32"): on Windows
// "UNLHA32.DLL" by bare name, so that the copy beside the program is found
// first; on Linux "libunlha32.so" through the standard search (the program's
// run path), then beside the program.
LibraryHandle OpenLibrary(std::string_view baseName);
// Loads the library file at this host path (UTF-8).
LibraryHandle OpenLibraryAt(std::string_view path);
// The export named `symbol`, null when the library has none.
void* LibrarySymbol(LibraryHandle library, const char* symbol);
// Releases a handle from OpenLibrary or OpenLibraryAt; a null handle is ignored.
void CloseLibrary(LibraryHandle library);

// Texts handed to a bound library and back: ANSI texts of code page 932 on
// Windows, UTF-8 as they are on Linux. ToLibraryText gives nullopt for a text
// the library's code page cannot hold; FromLibraryText keeps what it cannot read
// as "?".
std::optional<std::string> ToLibraryText(std::string_view utf8);
std::string FromLibraryText(std::string_view text);

}  // namespace sorana::platform
