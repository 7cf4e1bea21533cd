// What the tests of the LHA binding look at besides its public interface.
#pragma once

#include <array>
#include <string_view>

namespace sorana::archive {

// Loads the library from `path` instead of by bare name (same steps as
// LoadLhaLibrary otherwise).
void LoadLhaLibraryFrom(const char* path);

bool IsLhaLibraryLoaded();
// True when the slot of that entry holds the library's export.
bool IsEntryBound(std::string_view name);
// The 41 entry names in slot order.
const std::array<const char*, 41>& EntryNames();

// Calls through the UnlhaGetVersion slot (its fall-back shows the box, returns 0).
unsigned short CallUnlhaGetVersion();

}  // namespace sorana::archive
