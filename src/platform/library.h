// Libraries bound at run time: load by name or path, look up an export, unload.
//
// A library that cannot be loaded gives a null handle and nothing else: callers
// that bind optional libraries keep their own fall-backs for that case.
#pragma once

#include <string_view>

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

}  // namespace sorana::platform
