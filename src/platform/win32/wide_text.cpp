#include "platform/win32/wide_text.h"

#include <cerrno>
#include <utility>

#include "formats/utf16.h"
#include "platform/win32/windows_api.h"

namespace sorana::platform {

namespace win32 {

std::optional<std::wstring> Widen(std::string_view utf8) { return formats::Utf8ToWide(utf8); }

std::optional<std::string> Narrow(std::wstring_view utf16) { return formats::WideToUtf8(utf16); }

int ErrnoOf(unsigned long win32Error) {
  switch (win32Error) {
    case ERROR_SUCCESS:
      return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NO_MORE_FILES:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

unsigned long SystemCodeOf(int errnoCode) {
  switch (errnoCode) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case ENOTDIR:
      return ERROR_DIRECTORY;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

HostError SystemError(unsigned long code, std::string what) {
  return HostError{ErrnoOf(code), code, std::move(what)};
}

}  // namespace win32

HostError ErrnoError(int code, std::string what) {
  return HostError{code, win32::SystemCodeOf(code), std::move(what)};
}

HostError LastSystemError(std::string what) {
  const DWORD code = GetLastError();
  return win32::SystemError(code, std::move(what));
}

}  // namespace sorana::platform
