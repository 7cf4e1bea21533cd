#include "platform/input_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/result.h"

namespace sorana::platform::host {

InputFile::InputFile(const std::filesystem::path& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    openError_ = ErrnoError(errno, "cannot open " + path.string());
    return;
  }
  handle_ = fd;
}

InputFile::~InputFile() {
  if (handle_ != kNoHandle) close(static_cast<int>(handle_));
}

Result<size_t> InputFile::Read(void* data, size_t size) {
  ssize_t got;
  do {
    got = read(static_cast<int>(handle_), data, size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return ErrnoError(errno);
  return static_cast<size_t>(got);
}

Status InputFile::Seek(int64_t offset) {
  if (lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0) return {};
  return ErrnoError(errno);
}

Result<int64_t> InputFile::Size() {
  const int fd = static_cast<int>(handle_);
  const off_t here = lseek(fd, 0, SEEK_CUR);
  const off_t end = here < 0 ? -1 : lseek(fd, 0, SEEK_END);
  if (end < 0 || lseek(fd, here, SEEK_SET) < 0) return ErrnoError(errno);
  return static_cast<int64_t>(end);
}

}  // namespace sorana::platform::host
