// Expansion of one downloaded component: SZDD files (also the QBasic variant)
// are decompressed through the platform's LZ expansion (platform/lz_expand.h),
// anything else is copied unchanged; the result is checked against the header.
#pragma once

#include <filesystem>
#include <string>

namespace sorana::install {

struct ExpandResult {
  enum class Outcome { Expanded, Copied, Failed };
  Outcome outcome = Outcome::Failed;
  int error = 0;       // errno of the failing file operation; 0 when the data was at fault
  std::string detail;  // what went wrong, for messages and tests
  bool ok() const { return outcome != Outcome::Failed; }
};

// Writes the expanded form of `source` (host paths) to `target`, replacing it.
// The target is written under a temporary name beside it and renamed into place
// only when the expansion is whole, so it never holds a partial file. A file
// with an SZDD signature that does not decode, or whose decoded length differs
// from the length in its header, fails. `source` and `target` may be the same file.
ExpandResult ExpandFile(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace sorana::install
