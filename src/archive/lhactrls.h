// Run-time binding of the LHA archive library libunlha32.so: 41 entry slots,
// each bound to the library's export of that name or to a fall-back that shows
// the "PANIC!!" box.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace sorana::archive {

// Result of ExtractLha when the library (or its Unlha entry) is missing: the
// archive was not extracted, so the result must not read as success.
inline constexpr int kLhaNotLoaded = -1;

// Shows the fall-back's box (caption "PANIC!!", no owner window, error icon, OK).
// The window connects it; without one the text goes to standard error.
void SetPanicHandler(std::function<void(std::string_view text)> handler);

// Loads "libunlha32.so" by bare name (the standard search order, so the run
// path of the executable applies). A missing library is not reported here.
void LoadLhaLibrary();    // once at program start, before the window exists
void UnloadLhaLibrary();  // once at program end; the slots return to their fall-backs

// Extracts `archive` below `folder` (given without trailing backslash) through
// the library's Unlha entry; returns its result (0 for success), kLhaNotLoaded
// after the "PANIC!!" box when the entry is missing.
int ExtractLha(std::string_view archive, std::string_view folder);

// The library's output of the last ExtractLha (its message), cut at the first NUL.
std::string LastLhaOutput();

}  // namespace sorana::archive
