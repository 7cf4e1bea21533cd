// Symbolic links and junctions on host paths: where a path really leads, and a
// link made in place. Extraction judges every existing link on a member's way
// by where it leads, so that nothing is written outside its destination.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/result.h"

namespace sorana::platform::host {

// Where `path` leads: made absolute, "." and ".." resolved, every symbolic link
// and junction on its existing part followed; the part that does not exist yet
// is appended as given (std::filesystem::weakly_canonical, with the system's
// own reading of links on Windows). Fails when it cannot be resolved.
Result<std::filesystem::path> FinalPath(const std::filesystem::path& path);

// Makes a symbolic link at `link` to `target` (UTF-8, '/'-separated, relative
// to the link's folder) under a fresh name beside it and renames it into place,
// replacing what stands at `link` (a link there is replaced, never followed).
// Fails when the host refuses the link.
Status PlaceSymbolicLink(const std::filesystem::path& link, std::string_view target);

}  // namespace sorana::platform::host
