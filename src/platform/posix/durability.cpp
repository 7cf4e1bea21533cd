#include "platform/durability.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "platform/result.h"
#include "platform/windows_system.h"

namespace sorana::platform {

Status FlushToDisk(std::string_view folder) {
  std::optional<std::filesystem::path> host = ToHost(folder);
  if (!host) return ErrnoError(ENOENT);
  int fd = open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return ErrnoError(errno);
  // One flush of the whole file system: cheaper than a walk, and it covers
  // renames and removals in every folder, which fsync of the files would not.
  Status flushed = syncfs(fd) == 0 ? Status() : ErrnoError(errno);
  close(fd);
  return flushed;
}

}  // namespace sorana::platform
