#include "platform/input_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system.h"

namespace sorana::platform::host {

InputFile::InputFile(const std::filesystem::path& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetHostError(errno);
    return;
  }
  handle_ = fd;
}

InputFile::~InputFile() {
  if (handle_ != kNoHandle) close(static_cast<int>(handle_));
}

int64_t InputFile::Read(void* data, size_t size) {
  ssize_t got;
  do {
    got = read(static_cast<int>(handle_), data, size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) SetHostError(errno);
  return got;
}

bool InputFile::Seek(int64_t offset) {
  if (lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0) return true;
  SetHostError(errno);
  return false;
}

std::optional<int64_t> InputFile::Size() {
  const int fd = static_cast<int>(handle_);
  const off_t here = lseek(fd, 0, SEEK_CUR);
  const off_t end = here < 0 ? -1 : lseek(fd, 0, SEEK_END);
  if (end < 0 || lseek(fd, here, SEEK_SET) < 0) {
    SetHostError(errno);
    return std::nullopt;
  }
  return end;
}

}  // namespace sorana::platform::host
