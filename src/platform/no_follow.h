// Opening a file to (over)write it without following a symbolic link: a link
// planted at the name makes the open fail instead of writing through it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "platform/result.h"

namespace sorana::platform::host {

// Creates `file` or truncates the regular file there to its first `keep`
// bytes, for writing after them ("wb"): 0 overwrites it, more continues it.
// Fails on a symbolic link (ELOOP), on anything that is not
// a regular file (EINVAL), on a file shorter than `keep` (EINVAL) and on a file
// with other hard links (EMLINK), whose bytes would change under another name too.
Result<std::FILE*> OpenForOverwrite(const std::filesystem::path& file, uint64_t keep = 0);

}  // namespace sorana::platform::host
