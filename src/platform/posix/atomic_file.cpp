#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <string>

#include "platform/crash_point.h"
#include "platform/file_system.h"

namespace sorana::platform::host {

namespace fs = std::filesystem;

AtomicFile::AtomicFile(const fs::path& target) : target_(target) {
  static std::atomic<unsigned> counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::string name = ".sorana-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" +
                       std::to_string(now.tv_nsec);
    fs::path candidate = target.parent_path() / name;
    int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      handle_ = fd;
      name_ = candidate;
      return;
    }
    if (errno != EEXIST) break;
  }
  openError_ = ErrnoError(errno, "cannot create a file beside " + target.string());
}

AtomicFile::~AtomicFile() {
  int saved = errno;
  if (handle_ != kNoHandle) close(static_cast<int>(handle_));
  if (!name_.empty()) unlink(name_.c_str());
  errno = saved;
}

Status AtomicFile::Write(const void* data, size_t size) {
  if (handle_ == kNoHandle) return ErrnoError(EBADF);
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t written = write(static_cast<int>(handle_), bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return ErrnoError(errno);
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return {};
}

Status AtomicFile::SetWriteTime(int64_t unixSeconds) {
  if (handle_ == kNoHandle) return ErrnoError(EBADF);
  const struct timespec times[2] = {{static_cast<time_t>(unixSeconds), 0},
                                    {static_cast<time_t>(unixSeconds), 0}};
  if (futimens(static_cast<int>(handle_), times) != 0) return ErrnoError(errno);
  return {};
}

Status AtomicFile::Commit(bool replace, bool durable) {
  if (handle_ == kNoHandle) return ErrnoError(EBADF);
  const int fd = static_cast<int>(handle_);
  if (durable && fsync(fd) != 0) return ErrnoError(errno);
  // A stop here leaves the temporary file beside an untouched target;
  // RenameNoReplace has this point of its own.
  if (replace) CrashPoint();
  handle_ = kNoHandle;
  if (close(fd) != 0) return ErrnoError(errno);
  if (replace) {
    if (rename(name_.c_str(), target_.c_str()) != 0) return ErrnoError(errno);
  } else if (Status renamed = RenameNoReplace(name_, target_); !renamed) {
    return renamed;
  }
  name_.clear();
  if (!durable) return {};
  // Make the rename itself durable; a failure here loses nothing already written.
  fs::path folder = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return {};
}

}  // namespace sorana::platform::host
