// Expansion of one downloaded component: SZDD files (also the QBasic variant)
// are decompressed through the platform's LZ expansion (platform/lz_expand.h),
// anything else is copied unchanged; the result is checked against the header.
#pragma once

#include <filesystem>
#include <string>

#include "platform/result.h"

namespace sorana::install {

// What was written. A failure's code is errno's for a failing file operation,
// 0 when the data was at fault; its `what` says what went wrong.
enum class ExpandOutcome { Expanded, Copied };

// Writes the expanded form of `source` (host paths) to `target`, replacing it.
// The target is written under a temporary name beside it and renamed into place
// only when the expansion is whole, so it never holds a partial file. A file
// with an SZDD signature that does not decode, or whose decoded length differs
// from the length in its header, fails. `source` and `target` may be the same file.
platform::Result<ExpandOutcome> ExpandFile(const std::filesystem::path& source,
                                           const std::filesystem::path& target);

}  // namespace sorana::install
