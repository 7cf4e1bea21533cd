// File-system operations through the wide-character Win32 API. Failures carry
// the errno value of the Win32 error, so the core sees the same codes on every
// host, and the Win32 error itself for the boxes that show the system's number.
#include "platform/file_system.h"
#include "formats/wildcard_match.h"
#include "formats/win_path_text.h"

#include <algorithm>
#include <cerrno>

#include "platform/atomic_file.h"
#include "platform/crash_point.h"
#include "platform/win32/temporary_name.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"
#include "platform/windows_system.h"

namespace sorana::platform {

namespace fs = std::filesystem;
using win32::SystemError;

namespace {

// The attribute bits SetFileAttributesW accepts.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL |
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

Result<fs::path> Host(std::string_view path) {
  std::optional<fs::path> host = ToHost(path);
  if (!host) return ErrnoError(ENOENT);
  return std::move(*host);
}

// Closes a handle when it leaves scope.
class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (Valid()) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_;
};

// A copy of `from` under a fresh temporary name in `folder`, to be put in
// place of its target. CopyFileW brings the attributes and the last-write time
// along, and copies onto no existing name.
Result<fs::path> CopyToTemporary(const fs::path& from, const fs::path& folder) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path temp = win32::NextTemporaryName(folder);
    if (CopyFileW(from.c_str(), temp.c_str(), TRUE)) return temp;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    // A copy broken off may have left part of itself behind.
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(temp.c_str());
    // A missing folder and a file in the folder's place read alike here: the folder tells which.
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    const bool notFolder = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    return notFolder ? ErrnoError(ENOTDIR) : SystemError(error);
  }
  return ErrnoError(EEXIST);
}

// Moves the finished temporary file onto `target`; the temporary is removed on failure.
Status PutInPlace(const fs::path& temp, const fs::path& target, bool replaceExisting) {
  // A stop here leaves the temporary file beside an untouched target.
  CrashPoint();
  DWORD flags = MOVEFILE_WRITE_THROUGH | (replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
  if (MoveFileExW(temp.c_str(), target.c_str(), flags)) return {};
  const DWORD error = GetLastError();
  SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(temp.c_str());
  return SystemError(error);
}

bool IsReadOnlyFile(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
         !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

namespace host {

Result<uint32_t> AttributesOf(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastSystemError();
  return static_cast<uint32_t>(attributes);
}

Status CopyRegularFile(const fs::path& from, const fs::path& to, bool replaceExisting) {
  DWORD existing = GetFileAttributesW(to.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && !replaceExisting) return ErrnoError(EEXIST);
  Result<fs::path> temp = CopyToTemporary(from, to.parent_path());
  if (!temp) return temp.error();
  return PutInPlace(*temp, to, replaceExisting);
}

Status RenameNoReplace(const fs::path& from, const fs::path& to) {
  CrashPoint();
  if (!MoveFileExW(from.c_str(), to.c_str(), 0)) return LastSystemError();
  return {};
}

Status WriteFileAtomic(const fs::path& file, std::string_view bytes) {
  DWORD existing = GetFileAttributesW(file.c_str());
  if (IsReadOnlyFile(existing)) return ErrnoError(EACCES);
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY)) return ErrnoError(EISDIR);
  AtomicFile out(file);
  if (!out.Ok()) return out.Error();
  if (Status written = out.Write(bytes.data(), bytes.size()); !written) return written;
  // An existing file keeps its attributes (hidden, system, archive).
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & kSettableAttributes) != 0) {
    FILE_BASIC_INFO info{};
    info.FileAttributes = existing & kSettableAttributes;
    if (!SetFileInformationByHandle(reinterpret_cast<HANDLE>(out.NativeHandle()), FileBasicInfo, &info,
                                    sizeof info))
      return LastSystemError();
  }
  return out.Commit(true, true);
}

}  // namespace host

Status CopyFileTo(std::string_view from, std::string_view to, bool failIfExists) {
  Result<fs::path> source = Host(from);
  if (!source) return source.error();
  Result<fs::path> target = Host(to);
  if (!target) return target.error();
  DWORD existing = GetFileAttributesW(target->c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if (failIfExists) return ErrnoError(EEXIST);
    if (existing & FILE_ATTRIBUTE_DIRECTORY) return ErrnoError(EISDIR);
    if (existing & FILE_ATTRIBUTE_READONLY) return ErrnoError(EACCES);
  }
  return host::CopyRegularFile(*source, *target, !failIfExists);
}

Status RemoveFile(std::string_view path) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  DWORD attributes = GetFileAttributesW(host->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastSystemError();
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ErrnoError(EISDIR);
  CrashPoint();
  if (!DeleteFileW(host->c_str())) return LastSystemError();
  return {};
}

Status RenameFile(std::string_view from, std::string_view to) {
  Result<fs::path> source = Host(from);
  if (!source) return source.error();
  Result<fs::path> target = Host(to);
  if (!target) return target.error();
  // A change of spelling only goes through a temporary name: Wine's MoveFileW
  // finds the target to be the source itself and leaves the old spelling.
  if (source->parent_path() == target->parent_path() && source->filename() != target->filename() &&
      CompareStringOrdinal(source->filename().c_str(), -1, target->filename().c_str(), -1, TRUE) ==
          CSTR_EQUAL) {
    fs::path step = source->parent_path() / (source->filename().native() + L".~respell");
    CrashPoint();
    if (!MoveFileW(source->c_str(), step.c_str())) return LastSystemError();
    CrashPoint();
    if (MoveFileW(step.c_str(), target->c_str())) return {};
    const DWORD error = GetLastError();
    MoveFileW(step.c_str(), source->c_str());
    return SystemError(error);
  }
  // MoveFileW: fails on an existing target and moves a file to another drive by copy and delete.
  CrashPoint();
  if (!MoveFileW(source->c_str(), target->c_str())) return LastSystemError();
  return {};
}

Status ForceDirectories(std::string_view path) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  DWORD existing = GetFileAttributesW(host->c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY)) return {};
  CrashPoint();
  // Each missing level in turn, from the drive down.
  fs::path level = host->root_path();
  for (const fs::path& part : host->relative_path()) {
    if (part.empty()) continue;
    level /= part;
    if (!CreateDirectoryW(level.c_str(), nullptr)) {
      const DWORD error = GetLastError();
      if (error != ERROR_ALREADY_EXISTS) return SystemError(error);
    }
  }
  DWORD attributes = GetFileAttributesW(host->c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
  return ErrnoError(ENOTDIR);
}

Status MakeDirectory(std::string_view path) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  CrashPoint();
  if (!CreateDirectoryW(host->c_str(), nullptr)) return LastSystemError();
  return {};
}

Status SetAttributes(std::string_view path, uint32_t attributes) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  DWORD settable = attributes & kSettableAttributes;
  // FILE_ATTRIBUTE_NORMAL only ever stands alone, for none of the others.
  const DWORD current = GetFileAttributesW(host->c_str());
  if (current == INVALID_FILE_ATTRIBUTES) return LastSystemError();
  const DWORD others = kSettableAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
  if ((current & others) == (settable & others)) return {};
  CrashPoint();
  if (!SetFileAttributesW(host->c_str(), settable != 0 ? settable : FILE_ATTRIBUTE_NORMAL)) {
    return LastSystemError();
  }
  return {};
}

Result<std::vector<FindEntry>> FindFiles(std::string_view pattern) {
  auto [folder, namePattern] = formats::SplitLastComponent(pattern);
  if (folder.empty()) return ErrnoError(ENOENT);
  Result<fs::path> host = Host(folder);
  if (!host) return host.error();
  std::vector<FindEntry> entries;
  // Every entry, matched by the system-wide rule: the system's own matching
  // would also match the short 8.3 names.
  WIN32_FIND_DATAW data;
  HANDLE find =
      FindFirstFileExW((*host / L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // A drive root lists no "." and "..": nothing found there is an empty folder.
    if (error != ERROR_FILE_NOT_FOUND) return SystemError(error);
    return entries;
  }
  do {
    std::wstring_view wide(data.cFileName);
    if (wide == L"." || wide == L"..") continue;
    std::optional<std::string> name = win32::Narrow(wide);
    if (!name || !formats::MatchesWildcard(*name, namePattern)) continue;
    entries.push_back(FindEntry{*name, data.dwFileAttributes});
  } while (FindNextFileW(find, &data));
  const DWORD error = GetLastError();
  FindClose(find);
  if (error != ERROR_NO_MORE_FILES) return SystemError(error);
  return entries;
}

Result<std::string> ReadWholeFile(std::string_view path) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  Handle in(CreateFileW(host->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in.Valid()) {
    const DWORD error = GetLastError();
    // A folder cannot be opened so: the system says access denied, the core reads EISDIR.
    const DWORD attributes = GetFileAttributesW(host->c_str());
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (error == ERROR_ACCESS_DENIED && folder) return HostError{EISDIR, error, {}};
    return SystemError(error);
  }
  std::string bytes;
  char buffer[1 << 16];
  DWORD got = 0;
  while (true) {
    if (!ReadFile(in.Get(), buffer, sizeof buffer, &got, nullptr)) return LastSystemError();
    if (got == 0) break;
    bytes.append(buffer, got);
  }
  return bytes;
}

Status WriteFileAtomic(std::string_view path, std::string_view bytes) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  return host::WriteFileAtomic(*host, bytes);
}

Status SetWriteTime(std::string_view path, int64_t unixSeconds) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  // Folders open only with backup semantics.
  Handle file(CreateFileW(host->c_str(), FILE_WRITE_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) return LastSystemError();
  // 100-ns intervals since 1601-01-01.
  constexpr int64_t kEpochOffsetSeconds = 11644473600;
  uint64_t ticks = static_cast<uint64_t>(unixSeconds + kEpochOffsetSeconds) * 10000000ull;
  FILETIME time{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
  CrashPoint();
  if (!::SetFileTime(file.Get(), nullptr, nullptr, &time)) return LastSystemError();
  return {};
}

}  // namespace sorana::platform
