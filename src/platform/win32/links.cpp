// Links on Windows: the system resolves junctions and symbolic links itself
// (GetFinalPathNameByHandleW); ".." is resolved textually first, as the
// system's path parser does before it follows any link.
#include "platform/links.h"

#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>

#include "platform/crash_point.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace sorana::platform::host {

namespace fs = std::filesystem;

namespace {

// The final path of an existing entry, without the "\\?\" the system puts in
// front; nullopt with `error` set when it cannot be had.
std::optional<std::wstring> FinalPathOfExisting(const fs::path& path, DWORD* error) {
  // No access rights asked: only the name is wanted. BACKUP_SEMANTICS opens folders too.
  HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return std::nullopt;
  }
  std::wstring name(32768, L'\0');
  DWORD length = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  *error = length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
  CloseHandle(handle);
  if (length == 0 || length >= name.size()) return std::nullopt;
  name.resize(length);
  if (name.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + name.substr(8);
  if (name.rfind(L"\\\\?\\", 0) == 0) return name.substr(4);
  return name;
}

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

Result<fs::path> FinalPath(const fs::path& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) return ErrnoError(EINVAL);
  absolute = absolute.lexically_normal();
  // The longest existing head is resolved by the system; the rest follows as given.
  fs::path head = absolute;
  fs::path tail;
  for (;;) {
    DWORD failure = 0;
    if (std::optional<std::wstring> final = FinalPathOfExisting(head, &failure)) {
      return tail.empty() ? fs::path(*final) : fs::path(*final) / tail;
    }
    if (!IsMissing(failure) || !head.has_relative_path()) return win32::SystemError(failure);
    tail = tail.empty() ? head.filename() : head.filename() / tail;
    head = head.parent_path();
  }
}

Status PlaceSymbolicLink(const fs::path& link, std::string_view target) {
  std::optional<std::wstring> wide = win32::Widen(target);
  if (!wide) return ErrnoError(EINVAL);
  for (wchar_t& ch : *wide) {
    if (ch == L'/') ch = L'\\';
  }
  const DWORD kind = GetFileAttributesW((link.parent_path() / *wide).c_str());
  DWORD flags = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  if (kind != INVALID_FILE_ATTRIBUTES && (kind & FILE_ATTRIBUTE_DIRECTORY))
    flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
  static std::atomic<unsigned> counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path fresh = link.parent_path() / (L".sorana-link-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                           std::to_wstring(++counter));
    if (!CreateSymbolicLinkW(fresh.c_str(), wide->c_str(), flags)) {
      const DWORD error = GetLastError();
      if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) continue;
      return win32::SystemError(error);
    }
    // A stop here leaves the fresh link beside what stands at `link`.
    CrashPoint();
    if (!MoveFileExW(fresh.c_str(), link.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      const DWORD error = GetLastError();
      RemoveDirectoryW(fresh.c_str());
      DeleteFileW(fresh.c_str());
      return win32::SystemError(error);
    }
    return {};
  }
  return ErrnoError(EEXIST);
}

}  // namespace sorana::platform::host
