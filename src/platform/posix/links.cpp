#include "platform/links.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>

#include "platform/crash_point.h"

namespace sorana::platform::host {

namespace fs = std::filesystem;

Result<fs::path> FinalPath(const fs::path& path) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(path, error);
  if (error) return ErrnoError(error.value(), "cannot resolve " + path.string());
  return resolved;
}

Status PlaceSymbolicLink(const fs::path& link, std::string_view target) {
  static std::atomic<unsigned> counter = 0;
  const std::string text(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path fresh =
        link.parent_path() / (".sorana-link-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
    if (symlink(text.c_str(), fresh.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return ErrnoError(errno);
    }
    // A stop here leaves the fresh link beside what stands at `link`.
    CrashPoint();
    if (rename(fresh.c_str(), link.c_str()) != 0) {
      HostError error = ErrnoError(errno);
      unlink(fresh.c_str());
      return error;
    }
    return {};
  }
  return ErrnoError(EEXIST);
}

}  // namespace sorana::platform::host
