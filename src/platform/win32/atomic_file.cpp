#include "platform/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/crash_point.h"
#include "platform/win32/temporary_name.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace sorana::platform {

namespace fs = std::filesystem;

fs::path win32::NextTemporaryName(const fs::path& folder) {
  static std::atomic<unsigned> counter = 0;
  return folder /
         (L".sorana-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L".tmp");
}

namespace host {

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

AtomicFile::AtomicFile(const fs::path& target) : target_(target) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = win32::NextTemporaryName(target.parent_path());
    // CREATE_NEW takes only a name nothing holds yet, a planted link included.
    HANDLE file = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<intptr_t>(file);
      name_ = candidate;
      return;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    // A missing folder and a file in the folder's place read alike here: the folder tells which.
    const DWORD folder = GetFileAttributesW(target.parent_path().c_str());
    if (folder == INVALID_FILE_ATTRIBUTES) {
      openError_ = LastSystemError();
    } else {
      openError_ = (folder & FILE_ATTRIBUTE_DIRECTORY) ? win32::SystemError(error) : ErrnoError(ENOTDIR);
    }
    return;
  }
  openError_ = ErrnoError(EEXIST);
}

AtomicFile::~AtomicFile() {
  if (handle_ != kNoHandle) CloseHandle(AsHandle(handle_));
  if (!name_.empty()) DeleteFileW(name_.c_str());
}

Status AtomicFile::Write(const void* data, size_t size) {
  if (handle_ == kNoHandle) return ErrnoError(EBADF);
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(size < (1u << 24) ? size : (1u << 24));
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle_), bytes, chunk, &written, nullptr)) return LastSystemError();
    bytes += written;
    size -= written;
  }
  return {};
}

Status AtomicFile::SetWriteTime(int64_t unixSeconds) {
  if (handle_ == kNoHandle) return ErrnoError(EBADF);
  // FILETIME counts 100-nanosecond steps from 1601-01-01.
  const uint64_t ticks = static_cast<uint64_t>(unixSeconds + 11644473600LL) * 10000000ULL;
  FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  if (!SetFileTime(AsHandle(handle_), nullptr, &time, &time)) return LastSystemError();
  return {};
}

Status AtomicFile::Commit(bool replace, bool durable) {
  if (handle_ == kNoHandle) return ErrnoError(EBADF);
  HANDLE file = AsHandle(handle_);
  if (durable && !FlushFileBuffers(file)) return LastSystemError();
  // A stop here leaves the temporary file beside an untouched target.
  CrashPoint();
  handle_ = kNoHandle;
  if (!CloseHandle(file)) return LastSystemError();
  DWORD flags = (durable ? MOVEFILE_WRITE_THROUGH : 0) | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (!MoveFileExW(name_.c_str(), target_.c_str(), flags)) return LastSystemError();
  name_.clear();
  return {};
}

}  // namespace host

}  // namespace sorana::platform
