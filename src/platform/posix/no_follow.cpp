#include "platform/no_follow.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/crash_point.h"

namespace sorana::platform::host {

Result<std::FILE*> OpenForOverwrite(const std::filesystem::path& file, uint64_t keep) {
  // It creates the file, or truncates it below.
  CrashPoint();
  // O_NONBLOCK keeps a FIFO at the name from blocking the open; it is refused below.
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return ErrnoError(errno);
  struct stat st {};
  int error = 0;
  if (fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    error = EINVAL;
  } else if (static_cast<uint64_t>(st.st_size) < keep) {
    error = EINVAL;
  } else if (st.st_nlink > 1) {
    error = EMLINK;
  } else if (fcntl(fd, F_SETFL, 0) != 0 || ftruncate(fd, static_cast<off_t>(keep)) != 0 ||
             lseek(fd, 0, SEEK_END) < 0) {
    // Truncated only now, so that a refused file keeps its bytes.
    error = errno;
  }
  if (error == 0) {
    if (std::FILE* stream = fdopen(fd, "wb")) return stream;
    error = errno;
  }
  close(fd);
  return ErrnoError(error);
}

}  // namespace sorana::platform::host
