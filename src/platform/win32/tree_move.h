// What the shell's move and copy must have left behind, checked and finished
// item by item: Wine's shell neither replaces files nor merges folders on a
// move, and reports missing items as done.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace sorana::platform::win32 {

// The host entries a source list names (wildcards of each item's last component
// expanded), taken before the shell changes anything. `allFound` turns false
// for an item, or the folder of a wildcard item, that does not exist.
std::vector<std::filesystem::path> ExpandSourceList(std::string_view sources, bool& allFound);

// Whether `source` (a folder) is `target` or a folder above it: it cannot go there.
bool ContainsFolder(const std::filesystem::path& source, const std::filesystem::path& target);

// Moves what the shell left of `source` into the folder `into`: a file replaces
// one of the same name, a folder merges into one of the same name. Succeeds when
// `source` is gone and its entry is in `into`; else the first failure.
Status FinishMove(const std::filesystem::path& source, const std::filesystem::path& into);
// Copies what the shell left uncopied of `source` into `into` the same way.
Status FinishCopy(const std::filesystem::path& source, const std::filesystem::path& into);

}  // namespace sorana::platform::win32
