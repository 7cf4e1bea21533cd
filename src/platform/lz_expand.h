// The platform's expansion of files in the Microsoft compress format (SZDD):
// LZ32 on Windows, libmspack on Linux. It is given files with an SZDD
// signature and checks nothing of the result, which the installation does
// (install/szdd_expand.h), along with the copy of every other file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/atomic_file.h"

namespace sorana::platform::host {

struct LzExpansion {
  int64_t bytes = -1;    // bytes written to the output; -1 when the expansion failed
  bool decoded = false;  // the source was read as compressed (LZ32 copies what it does not know)
  int error = 0;         // errno of a failing file operation; 0 when the data did not decode
  std::string detail;    // why it failed
  bool ok() const { return bytes >= 0; }
};

// Writes the expansion of `source` into `out`, which the caller commits.
LzExpansion LzExpand(const std::filesystem::path& source, AtomicFile& out);

}  // namespace sorana::platform::host
