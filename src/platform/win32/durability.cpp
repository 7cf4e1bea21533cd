// Flushing to the disk on Windows. A volume handle flushes everything at once,
// but opening one for writing takes an administrator; a user's process flushes
// file by file instead.
#include "platform/durability.h"

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"
#include "platform/windows_system.h"

namespace sorana::platform {

namespace fs = std::filesystem;

namespace {

// "\\.\C:" for a folder on drive C:, else the volume's own name; without a
// trailing backslash, which would open the volume's root folder instead.
std::optional<std::wstring> VolumeDevice(const fs::path& folder) {
  wchar_t mount[MAX_PATH + 1];
  if (!GetVolumePathNameW(folder.c_str(), mount, MAX_PATH + 1)) return std::nullopt;
  const std::wstring root(mount);
  if (root.size() == 3 && root[1] == L':' && root[2] == L'\\') return L"\\\\.\\" + root.substr(0, 2);
  wchar_t name[MAX_PATH + 1];
  if (!GetVolumeNameForVolumeMountPointW(mount, name, MAX_PATH + 1)) return std::nullopt;
  std::wstring volume(name);
  if (!volume.empty() && volume.back() == L'\\') volume.pop_back();
  return volume;
}

bool FlushVolume(const fs::path& folder) {
  std::optional<std::wstring> device = VolumeDevice(folder);
  if (!device) return false;
  HANDLE volume = CreateFileW(device->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (volume == INVALID_HANDLE_VALUE) return false;  // ERROR_ACCESS_DENIED for a user
  // Wine opens it, but answers the flush with ERROR_INVALID_FUNCTION.
  const bool flushed = FlushFileBuffers(volume) != 0;
  CloseHandle(volume);
  return flushed;
}

Status FlushFile(const fs::path& file) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastSystemError();
  Status flushed;
  if (!FlushFileBuffers(handle)) flushed = LastSystemError();
  CloseHandle(handle);
  return flushed;
}

// Every file below `folder`, then the folder itself, so that its names and
// renames follow the files they name. Goes on after a failure and reports the first.
Status FlushTree(const fs::path& folder) {
  Status ok;
  WIN32_FIND_DATAW data;
  HANDLE find =
      FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) ok = win32::SystemError(error);
  } else {
    do {
      const std::wstring_view name(data.cFileName);
      if (name == L"." || name == L"..") continue;
      // A link or junction is flushed as an entry of its folder, never followed.
      if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
      const fs::path entry = folder / name;
      KeepFirstFailure(
          ok, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FlushTree(entry) : FlushFile(entry));
    } while (FindNextFileW(find, &data));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) KeepFirstFailure(ok, win32::SystemError(error));
    FindClose(find);
  }
  // Some file systems refuse to flush a folder and keep its entries with
  // their files' own flushes: a refusal here is no failure.
  HANDLE self =
      CreateFileW(folder.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (self != INVALID_HANDLE_VALUE) {
    FlushFileBuffers(self);
    CloseHandle(self);
  }
  return ok;
}

}  // namespace

Status FlushToDisk(std::string_view folder) {
  std::optional<fs::path> host = ToHost(folder);
  if (!host) return ErrnoError(ENOENT);
  const DWORD attributes = GetFileAttributesW(host->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastSystemError();
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ErrnoError(ENOTDIR);
  if (FlushVolume(*host)) return {};
  return FlushTree(*host);
}

}  // namespace sorana::platform
