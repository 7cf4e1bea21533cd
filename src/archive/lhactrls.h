// Run-time binding of the LHA archive library libunlha32.so: 41 entry slots,
// each bound to the library's export of that name or to a fall-back that shows
// the "PANIC!!" box.
#pragma once

#include <functional>
#include <string_view>

namespace sorana::archive {

// Shows the fall-back's box (caption "PANIC!!", no owner window, error icon, OK).
// The window connects it; without one the text goes to standard error.
void SetPanicHandler(std::function<void(std::string_view text)> handler);

void LoadLhaLibrary();    // once at program start, before the window exists
void UnloadLhaLibrary();  // once at program end

// Extracts `archive` below `folder` (given without trailing backslash) through
// the library's Unlha entry; returns its result (0 for success).
int ExtractLha(std::string_view archive, std::string_view folder);

}  // namespace sorana::archive
