#include "platform/no_follow.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>

#include "platform/crash_point.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace sorana::platform::host {

std::FILE* OpenForOverwrite(const std::filesystem::path& file, uint64_t keep) {
  // It creates the file, or truncates it below.
  CrashPoint();
  // The reparse point itself is opened, never what it leads to; it is refused below.
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = win32::ErrnoOf(GetLastError());
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  int error = 0;
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    error = EINVAL;  // a device name such as NUL or CON
  } else if (!GetFileInformationByHandle(handle, &info)) {
    error = win32::ErrnoOf(GetLastError());
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    error = ELOOP;
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = EINVAL;
  } else if ((uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow) < keep) {
    error = EINVAL;
  } else if (info.nNumberOfLinks > 1) {
    error = EMLINK;
  } else if (LARGE_INTEGER at{.QuadPart = static_cast<LONGLONG>(keep)};
             !SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) || !SetEndOfFile(handle)) {
    // Truncated only now, so that a refused file keeps its bytes.
    error = win32::ErrnoOf(GetLastError());
  }
  if (error == 0) {
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd >= 0) {
      if (std::FILE* stream = _fdopen(fd, "wb")) return stream;
      error = errno;
      _close(fd);  // closes the handle too
      errno = error;
      return nullptr;
    }
    error = EMFILE;
  }
  CloseHandle(handle);
  errno = error;
  return nullptr;
}

}  // namespace sorana::platform::host
