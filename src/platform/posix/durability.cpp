#include "platform/durability.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "platform/file_system.h"
#include "platform/windows_system.h"

namespace sorana::platform {

bool FlushToDisk(std::string_view folder) {
  std::optional<std::filesystem::path> host = ToHost(folder);
  if (!host) {
    SetHostError(ENOENT);
    return false;
  }
  int fd = open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    SetHostError(errno);
    return false;
  }
  // One flush of the whole file system: cheaper than a walk, and it covers
  // renames and removals in every folder, which fsync of the files would not.
  const bool flushed = syncfs(fd) == 0;
  if (!flushed) SetHostError(errno);
  close(fd);
  return flushed;
}

}  // namespace sorana::platform
