// The scratch folder of a fuzz run and the checks every target shares.
//
// Each run writes only below its scratch folder: SORANA_FUZZ_SCRATCH when set
// (scripts/fuzz gives every run its own), else a new folder in the temporary
// folder that is removed at exit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows_system.h"
#include "support/finding.h"

namespace sorana::fuzz {

const std::filesystem::path& ScratchRoot();

// The folder `name` below the scratch root, created when missing and emptied.
std::filesystem::path FreshFolder(std::string_view name);

// Host file helpers for the targets' set-up (call them with the guard disarmed).
void WriteHostFile(const std::filesystem::path& file, std::string_view bytes);
std::optional<std::string> ReadHostFile(const std::filesystem::path& file);

// Every entry below `folder` (not following links), as paths relative to it.
std::vector<std::filesystem::path> TreeOf(const std::filesystem::path& folder);

// A Wine-style prefix `name` below the scratch root, made the active prefix:
// drive_c, dosdevices/c: -> ../drive_c and the two registry files (win32).
platform::WindowsSystem MakeScratchPrefix(std::string_view name);

// While alive, any change to the file system outside `allowed` (and the
// fuzzer's artifact folder) is a finding, and so is, at its end, a file that
// was created exclusively (the way temporary files are) and is still there.
class WriteGuard {
 public:
  explicit WriteGuard(std::initializer_list<std::filesystem::path> allowed);
  ~WriteGuard();
  WriteGuard(const WriteGuard&) = delete;
  WriteGuard& operator=(const WriteGuard&) = delete;
};

}  // namespace sorana::fuzz
