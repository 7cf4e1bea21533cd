// The sweep of our own stopped temporaries in one host folder, not below it:
// for the folders the host writes outside the installation (the prefix's
// registry files).
#pragma once

#include <cstddef>
#include <filesystem>

namespace sorana::platform::host {

size_t RemoveStaleTemporariesIn(const std::filesystem::path& folder);

}  // namespace sorana::platform::host
