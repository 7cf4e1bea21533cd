// The sweep of a stopped run's temporaries on Linux. The walk goes by folder
// descriptors (openat with O_NOFOLLOW), so a folder swapped for a link while
// it runs is not entered, and unlinkat removes an entry itself, never what a
// link points to.
//
// Not a crash point: what it removes nobody reads, and a stop in the middle
// only leaves the rest to the next sweep.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "formats/name_shape.h"
#include "platform/file_tree.h"
#include "platform/posix/stale_temporaries.h"
#include "platform/windows_system.h"

namespace sorana::platform {

namespace {

// The names as they are made, '#' a run of decimal digits: AtomicFile's
// (posix/atomic_file.cpp), and the links of CopySymlink (posix/file_tree.cpp)
// and PlaceSymbolicLink (posix/links.cpp).
constexpr std::string_view kFileShapes[] = {".sorana-#-#-#"};
constexpr std::string_view kLinkShapes[] = {".sorana-link-#", ".sorana-link-#-#"};

// Sweeps the open folder `fd` (taken over and closed), and with `below` the folders below it.
size_t Sweep(int fd, bool below) {
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return 0;
  }
  size_t removed = 0;
  while (dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      const int inner =
          below ? openat(fd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
      if (inner >= 0) removed += Sweep(inner, true);
      continue;
    }
    const bool ours = (S_ISREG(st.st_mode) && formats::HasAnyNameShape<char>(name, kFileShapes)) ||
                      (S_ISLNK(st.st_mode) && formats::HasAnyNameShape<char>(name, kLinkShapes));
    if (ours && unlinkat(fd, entry->d_name, 0) == 0) ++removed;
  }
  closedir(dir);
  return removed;
}

}  // namespace

size_t RemoveStaleTemporaries(std::string_view folder) {
  std::optional<std::filesystem::path> host = ToHost(folder);
  if (!host) return 0;
  // The folder itself may be reached through links (drive C: is one); only what is below it is not followed.
  const int fd = open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return fd >= 0 ? Sweep(fd, true) : 0;
}

namespace host {
size_t RemoveStaleTemporariesIn(const std::filesystem::path& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return fd >= 0 ? Sweep(fd, false) : 0;
}
}  // namespace host

}  // namespace sorana::platform
