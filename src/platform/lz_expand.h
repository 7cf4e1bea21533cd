// The platform's expansion of files in the Microsoft compress format (SZDD):
// LZ32 on Windows, libmspack on Linux. It is given files with an SZDD
// signature and checks nothing of the result, which the installation does
// (install/szdd_expand.h), along with the copy of every other file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/atomic_file.h"
#include "platform/result.h"

namespace sorana::platform::host {

struct LzExpansion {
  int64_t bytes = 0;     // bytes written to the output
  bool decoded = false;  // the source was read as compressed (LZ32 copies what it does not know)
};

// Writes the expansion of `source` into `out`, which the caller commits. A
// failure's code is 0 when the data did not decode; `what` says why.
Result<LzExpansion> LzExpand(const std::filesystem::path& source, AtomicFile& out);

}  // namespace sorana::platform::host
