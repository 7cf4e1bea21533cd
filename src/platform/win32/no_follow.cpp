#include "platform/no_follow.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <optional>
#include <utility>

#include "platform/crash_point.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace sorana::platform::host {

Result<std::FILE*> OpenForOverwrite(const std::filesystem::path& file, uint64_t keep) {
  // It creates the file, or truncates it below.
  CrashPoint();
  // The reparse point itself is opened, never what it leads to; it is refused below.
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastSystemError();
  BY_HANDLE_FILE_INFORMATION info{};
  std::optional<HostError> error;
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    error = ErrnoError(EINVAL);  // a device name such as NUL or CON
  } else if (!GetFileInformationByHandle(handle, &info)) {
    error = LastSystemError();
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    error = ErrnoError(ELOOP);
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = ErrnoError(EINVAL);
  } else if ((uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow) < keep) {
    error = ErrnoError(EINVAL);
  } else if (info.nNumberOfLinks > 1) {
    error = ErrnoError(EMLINK);
  } else if (LARGE_INTEGER at{.QuadPart = static_cast<LONGLONG>(keep)};
             !SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) || !SetEndOfFile(handle)) {
    // Truncated only now, so that a refused file keeps its bytes.
    error = LastSystemError();
  }
  if (!error) {
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd >= 0) {
      if (std::FILE* stream = _fdopen(fd, "wb")) return stream;
      HostError failed = ErrnoError(errno);
      _close(fd);  // closes the handle too
      return failed;
    }
    error = ErrnoError(EMFILE);
  }
  CloseHandle(handle);
  return std::move(*error);
}

}  // namespace sorana::platform::host
