// Private folders on Windows. The user's temporary folder lies in the user's
// profile, which only the user (and the administrators) may write, and a
// folder created there inherits that protection; what is left to judge is
// the entry itself: a reparse point (link or junction) or a file is refused.
#include "platform/private_folder.h"
#include "formats/win_path_text.h"

#include <cerrno>

#include "platform/crash_point.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"
#include "platform/windows_system.h"

namespace sorana::platform {

namespace fs = std::filesystem;

namespace {

// What the attributes of an existing entry say of it.
FolderTrust JudgeAttributes(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return FolderTrust::SymbolicLink;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return FolderTrust::NotAFolder;
  return FolderTrust::Private;
}

}  // namespace

namespace host {

FolderTrust JudgeFolder(const fs::path& folder) {
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FolderTrust::Missing;
  return JudgeAttributes(attributes);
}

FolderTrust JudgeResolvedFolder(const fs::path& folder) {
  // The attributes of the folder a link leads to: opened with backup semantics,
  // which a folder needs, following the link.
  HANDLE handle = CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FolderTrust::Missing;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!known) return FolderTrust::Missing;
  return JudgeAttributes(info.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));
}

}  // namespace host

Result<FolderTrust> ForcePrivateFolder(std::string_view path) {
  std::optional<fs::path> folder = ToHost(formats::ExcludeTrailingBackslash(std::string(path)));
  if (!folder) return ErrnoError(ENOENT);
  // An existing entry stays as it is: CreateDirectoryW neither follows nor replaces it.
  const DWORD existing = GetFileAttributesW(folder->c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) return JudgeAttributes(existing);
  CrashPoint();
  std::error_code ec;
  fs::create_directories(folder->parent_path(), ec);
  if (!CreateDirectoryW(folder->c_str(), nullptr)) {
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) return win32::SystemError(error);
  }
  const DWORD made = GetFileAttributesW(folder->c_str());
  if (made == INVALID_FILE_ATTRIBUTES) return LastSystemError();
  return JudgeAttributes(made);
}

}  // namespace sorana::platform
