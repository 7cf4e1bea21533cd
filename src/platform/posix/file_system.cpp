#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>

#include "formats/wildcard_match.h"
#include "formats/win_path_text.h"
#include "platform/atomic_file.h"
#include "platform/crash_point.h"
#include "platform/windows_system.h"

namespace sorana::platform {

namespace fs = std::filesystem;

namespace {

thread_local int lastError = 0;

bool Fail(int code) {
  SetHostError(code);
  return false;
}

// The host path of a Windows path; a path that names no drive records ENOENT.
std::optional<fs::path> Host(std::string_view path) {
  std::optional<fs::path> host = ToHost(path);
  if (!host) SetHostError(ENOENT);
  return host;
}

bool IsReadOnlyMode(mode_t mode) { return (mode & S_IWUSR) == 0; }

uint32_t AttributesOfStat(const struct stat& st) {
  uint32_t attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
  if (IsReadOnlyMode(st.st_mode)) attributes |= kAttrReadOnly;
  return attributes;
}

// Closes a descriptor when the scope ends.
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

int LastError() { return lastError; }
int SystemErrorCode() { return lastError; }
void SetHostError(int code) { lastError = code; }

namespace host {

std::optional<uint32_t> AttributesOf(const fs::path& path) {
  struct stat link {};
  if (lstat(path.c_str(), &link) != 0) {
    SetHostError(errno);
    return std::nullopt;
  }
  if (!S_ISLNK(link.st_mode)) return AttributesOfStat(link);
  struct stat target {};
  // A dangling link is reported as a plain file.
  uint32_t attributes = stat(path.c_str(), &target) == 0 ? AttributesOfStat(target) : kAttrArchive;
  return attributes | kAttrReparsePoint;
}

bool CopyRegularFile(const fs::path& from, const fs::path& to, bool replaceExisting) {
  // O_NONBLOCK keeps a FIFO from blocking the open; it has no effect on regular files.
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return Fail(errno);
  FdCloser closeIn{in};
  struct stat st {};
  if (fstat(in, &st) != 0) return Fail(errno);
  if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
  if (!S_ISREG(st.st_mode)) return Fail(EINVAL);

  host::AtomicFile temp(to);
  if (!temp.Ok()) return false;
  auto buffer = std::make_unique<char[]>(1 << 16);
  for (;;) {
    ssize_t got = read(in, buffer.get(), 1 << 16);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Fail(errno);
    }
    if (got == 0) break;
    if (!temp.Write(buffer.get(), static_cast<size_t>(got))) return Fail(errno);
  }
  if (fchmod(static_cast<int>(temp.NativeHandle()), st.st_mode & 0777) != 0) return Fail(errno);
  const struct timespec times[2] = {{0, UTIME_NOW}, st.st_mtim};
  if (futimens(static_cast<int>(temp.NativeHandle()), times) != 0) return Fail(errno);
  if (!temp.Commit(replaceExisting, false)) return false;
  return true;
}

bool RenameNoReplace(const fs::path& from, const fs::path& to) {
  CrashPoint();
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return Fail(errno);
  // File systems without RENAME_NOREPLACE: check first (the window is tiny, one thread).
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0) return Fail(EEXIST);
  if (rename(from.c_str(), to.c_str()) != 0) return Fail(errno);
  return true;
}

}  // namespace host

bool CopyFileTo(std::string_view from, std::string_view to, bool failIfExists) {
  std::optional<fs::path> source = Host(from);
  std::optional<fs::path> target = Host(to);
  if (!source || !target) return false;
  struct stat st {};
  // A link at the target is replaced itself, so it is judged itself.
  if (lstat(target->c_str(), &st) == 0) {
    if (failIfExists) return Fail(EEXIST);
    if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
    // Windows refuses to replace a read-only file; the host would not stop root.
    if (IsReadOnlyMode(st.st_mode)) return Fail(EACCES);
  }
  return host::CopyRegularFile(*source, *target, !failIfExists);
}

bool RemoveFile(std::string_view path) {
  std::optional<fs::path> host = Host(path);
  if (!host) return false;
  struct stat st {};
  if (lstat(host->c_str(), &st) != 0) return Fail(errno);
  if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
  if (!S_ISLNK(st.st_mode) && IsReadOnlyMode(st.st_mode)) return Fail(EACCES);
  CrashPoint();
  if (unlink(host->c_str()) != 0) return Fail(errno);
  return true;
}

bool RenameFile(std::string_view from, std::string_view to) {
  std::optional<fs::path> source = Host(from);
  std::optional<fs::path> target = Host(to);
  if (!source || !target) return false;
  struct stat src {};
  if (lstat(source->c_str(), &src) != 0) return Fail(errno);
  struct stat dst {};
  if (lstat(target->c_str(), &dst) == 0 && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) {
    // The target names the source itself, found without case: a change of spelling only.
    std::string name(formats::SplitLastComponent(formats::ExcludeTrailingBackslash(std::string(to))).second);
    fs::path respelled = target->parent_path() / name;
    if (respelled == *source) return true;
    CrashPoint();
    if (rename(source->c_str(), respelled.c_str()) != 0) return Fail(errno);
    return true;
  }
  if (host::RenameNoReplace(*source, *target)) return true;
  if (LastError() != EXDEV || S_ISDIR(src.st_mode)) return false;
  // Like MoveFileA's copy-and-delete of a file between drives.
  if (!host::CopyRegularFile(*source, *target, false)) return false;
  CrashPoint();
  if (unlink(source->c_str()) != 0) return Fail(errno);
  return true;
}

bool ForceDirectories(std::string_view path) {
  std::optional<fs::path> host = Host(path);
  if (!host) return false;
  std::error_code ec;
  if (fs::is_directory(*host, ec)) return true;
  CrashPoint();
  fs::create_directories(*host, ec);
  if (fs::is_directory(*host)) return true;
  return Fail(ec ? ec.value() : ENOTDIR);
}

bool MakeDirectory(std::string_view path) {
  std::optional<fs::path> host = Host(path);
  if (!host) return false;
  CrashPoint();
  if (mkdir(host->c_str(), 0777) != 0) return Fail(errno);
  return true;
}

bool SetAttributes(std::string_view path, uint32_t attributes) {
  std::optional<fs::path> host = Host(path);
  if (!host) return false;
  struct stat st {};
  if (stat(host->c_str(), &st) != 0) return Fail(errno);
  // As Wine: read-only takes every write permission away; clearing it gives the owner's back.
  mode_t mode = st.st_mode & 07777;
  mode_t wanted = (attributes & kAttrReadOnly) ? (mode & ~mode_t{0222}) : (mode | S_IWUSR);
  if (wanted == mode) return true;
  CrashPoint();
  if (chmod(host->c_str(), wanted) != 0) return Fail(errno);
  return true;
}

std::vector<FindEntry> FindFiles(std::string_view pattern) {
  std::vector<FindEntry> entries;
  auto [folder, namePattern] = formats::SplitLastComponent(pattern);
  SetHostError(0);
  if (folder.empty() || namePattern.empty()) {
    SetHostError(ENOENT);
    return entries;
  }
  std::optional<fs::path> host = Host(folder);
  if (!host) return entries;
  DIR* dir = opendir(host->c_str());
  if (dir == nullptr) {
    SetHostError(errno);
    return entries;
  }
  std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, closedir);
  while (dirent* entry = readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!formats::MatchesWildcard(name, namePattern)) continue;
    // An entry that vanished since the listing is left out.
    if (std::optional<uint32_t> attributes = host::AttributesOf(*host / std::string(name))) {
      entries.push_back({std::string(name), *attributes});
    }
  }
  SetHostError(0);
  return entries;
}

std::optional<std::string> ReadWholeFile(std::string_view path) {
  std::optional<fs::path> host = Host(path);
  if (!host) return std::nullopt;
  int fd = open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    SetHostError(errno);
    return std::nullopt;
  }
  FdCloser closer{fd};
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    SetHostError(errno);
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    SetHostError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    return std::nullopt;
  }
  std::string bytes;
  bytes.reserve(static_cast<size_t>(st.st_size));
  char buffer[1 << 14];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      SetHostError(errno);
      return std::nullopt;
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return bytes;
}

bool WriteFileAtomic(std::string_view path, std::string_view bytes) {
  std::optional<fs::path> host = Host(path);
  if (!host) return false;
  struct stat st {};
  bool exists = lstat(host->c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return Fail(EISDIR);
  if (exists && IsReadOnlyMode(st.st_mode)) return Fail(EACCES);
  return host::WriteFileAtomic(*host, bytes);
}

bool host::WriteFileAtomic(const fs::path& file, std::string_view bytes) {
  struct stat st {};
  // Only a regular file hands on its permissions: a link is replaced by a file of our own.
  bool keepMode = lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  host::AtomicFile temp(file);
  if (!temp.Ok()) return false;
  if (!temp.Write(bytes.data(), bytes.size())) return Fail(errno);
  if (keepMode && fchmod(static_cast<int>(temp.NativeHandle()), st.st_mode & 07777) != 0) return Fail(errno);
  if (!temp.Commit(true, true)) return false;
  return true;
}

bool SetWriteTime(std::string_view path, int64_t unixSeconds) {
  std::optional<fs::path> host = Host(path);
  if (!host) return false;
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(unixSeconds), 0}};
  CrashPoint();
  if (utimensat(AT_FDCWD, host->c_str(), times, 0) != 0) return Fail(errno);
  return true;
}

}  // namespace sorana::platform
