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

// The host path of a Windows path; a path that names no drive fails with ENOENT.
Result<fs::path> Host(std::string_view path) {
  std::optional<fs::path> host = ToHost(path);
  if (!host) return ErrnoError(ENOENT, "no drive maps " + std::string(path));
  return std::move(*host);
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

HostError ErrnoError(int code, std::string what) {
  return HostError{code, static_cast<unsigned long>(code), std::move(what)};
}

HostError LastSystemError(std::string what) { return ErrnoError(errno, std::move(what)); }

namespace host {

Result<uint32_t> AttributesOf(const fs::path& path) {
  struct stat link {};
  if (lstat(path.c_str(), &link) != 0) return ErrnoError(errno);
  if (!S_ISLNK(link.st_mode)) return AttributesOfStat(link);
  struct stat target {};
  // A dangling link is reported as a plain file.
  uint32_t attributes = stat(path.c_str(), &target) == 0 ? AttributesOfStat(target) : kAttrArchive;
  return attributes | kAttrReparsePoint;
}

Status CopyRegularFile(const fs::path& from, const fs::path& to, bool replaceExisting) {
  // O_NONBLOCK keeps a FIFO from blocking the open; it has no effect on regular files.
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return ErrnoError(errno);
  FdCloser closeIn{in};
  struct stat st {};
  if (fstat(in, &st) != 0) return ErrnoError(errno);
  if (S_ISDIR(st.st_mode)) return ErrnoError(EISDIR);
  if (!S_ISREG(st.st_mode)) return ErrnoError(EINVAL);

  host::AtomicFile temp(to);
  if (!temp.Ok()) return temp.Error();
  auto buffer = std::make_unique<char[]>(1 << 16);
  for (;;) {
    ssize_t got = read(in, buffer.get(), 1 << 16);
    if (got < 0) {
      if (errno == EINTR) continue;
      return ErrnoError(errno);
    }
    if (got == 0) break;
    if (Status written = temp.Write(buffer.get(), static_cast<size_t>(got)); !written) return written;
  }
  if (fchmod(static_cast<int>(temp.NativeHandle()), st.st_mode & 0777) != 0) return ErrnoError(errno);
  const struct timespec times[2] = {{0, UTIME_NOW}, st.st_mtim};
  if (futimens(static_cast<int>(temp.NativeHandle()), times) != 0) return ErrnoError(errno);
  return temp.Commit(replaceExisting, false);
}

Status RenameNoReplace(const fs::path& from, const fs::path& to) {
  CrashPoint();
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS) return ErrnoError(errno);
  // File systems without RENAME_NOREPLACE: check first (the window is tiny, one thread).
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0) return ErrnoError(EEXIST);
  if (rename(from.c_str(), to.c_str()) != 0) return ErrnoError(errno);
  return {};
}

}  // namespace host

Status CopyFileTo(std::string_view from, std::string_view to, bool failIfExists) {
  Result<fs::path> source = Host(from);
  if (!source) return source.error();
  Result<fs::path> target = Host(to);
  if (!target) return target.error();
  struct stat st {};
  // A link at the target is replaced itself, so it is judged itself.
  if (lstat(target->c_str(), &st) == 0) {
    if (failIfExists) return ErrnoError(EEXIST);
    if (S_ISDIR(st.st_mode)) return ErrnoError(EISDIR);
    // Windows refuses to replace a read-only file; the host would not stop root.
    if (IsReadOnlyMode(st.st_mode)) return ErrnoError(EACCES);
  }
  return host::CopyRegularFile(*source, *target, !failIfExists);
}

Status RemoveFile(std::string_view path) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  struct stat st {};
  if (lstat(host->c_str(), &st) != 0) return ErrnoError(errno);
  if (S_ISDIR(st.st_mode)) return ErrnoError(EISDIR);
  if (!S_ISLNK(st.st_mode) && IsReadOnlyMode(st.st_mode)) return ErrnoError(EACCES);
  CrashPoint();
  if (unlink(host->c_str()) != 0) return ErrnoError(errno);
  return {};
}

Status RenameFile(std::string_view from, std::string_view to) {
  Result<fs::path> source = Host(from);
  if (!source) return source.error();
  Result<fs::path> target = Host(to);
  if (!target) return target.error();
  struct stat src {};
  if (lstat(source->c_str(), &src) != 0) return ErrnoError(errno);
  struct stat dst {};
  if (lstat(target->c_str(), &dst) == 0 && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) {
    // The target names the source itself, found without case: a change of spelling only.
    std::string name(formats::SplitLastComponent(formats::ExcludeTrailingBackslash(std::string(to))).second);
    fs::path respelled = target->parent_path() / name;
    if (respelled == *source) return {};
    CrashPoint();
    if (rename(source->c_str(), respelled.c_str()) != 0) return ErrnoError(errno);
    return {};
  }
  Status renamed = host::RenameNoReplace(*source, *target);
  if (renamed || renamed.error().code != EXDEV || S_ISDIR(src.st_mode)) return renamed;
  // Like MoveFileA's copy-and-delete of a file between drives.
  if (Status copied = host::CopyRegularFile(*source, *target, false); !copied) return copied;
  CrashPoint();
  if (unlink(source->c_str()) != 0) return ErrnoError(errno);
  return {};
}

Status ForceDirectories(std::string_view path) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  std::error_code ec;
  if (fs::is_directory(*host, ec)) return {};
  CrashPoint();
  fs::create_directories(*host, ec);
  if (fs::is_directory(*host)) return {};
  return ErrnoError(ec ? ec.value() : ENOTDIR);
}

Status MakeDirectory(std::string_view path) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  CrashPoint();
  if (mkdir(host->c_str(), 0777) != 0) return ErrnoError(errno);
  return {};
}

Status SetAttributes(std::string_view path, uint32_t attributes) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  struct stat st {};
  if (stat(host->c_str(), &st) != 0) return ErrnoError(errno);
  // As Wine: read-only takes every write permission away; clearing it gives the owner's back.
  mode_t mode = st.st_mode & 07777;
  mode_t wanted = (attributes & kAttrReadOnly) ? (mode & ~mode_t{0222}) : (mode | S_IWUSR);
  if (wanted == mode) return {};
  CrashPoint();
  if (chmod(host->c_str(), wanted) != 0) return ErrnoError(errno);
  return {};
}

Result<std::vector<FindEntry>> FindFiles(std::string_view pattern) {
  std::vector<FindEntry> entries;
  auto [folder, namePattern] = formats::SplitLastComponent(pattern);
  if (folder.empty() || namePattern.empty()) return ErrnoError(ENOENT);
  Result<fs::path> host = Host(folder);
  if (!host) return host.error();
  DIR* dir = opendir(host->c_str());
  if (dir == nullptr) return ErrnoError(errno);
  std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, closedir);
  while (dirent* entry = readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!formats::MatchesWildcard(name, namePattern)) continue;
    // An entry that vanished since the listing is left out.
    if (Result<uint32_t> attributes = host::AttributesOf(*host / std::string(name))) {
      entries.push_back({std::string(name), *attributes});
    }
  }
  return entries;
}

Result<std::string> ReadWholeFile(std::string_view path) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  int fd = open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return ErrnoError(errno);
  FdCloser closer{fd};
  struct stat st {};
  if (fstat(fd, &st) != 0) return ErrnoError(errno);
  if (!S_ISREG(st.st_mode)) return ErrnoError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  std::string bytes;
  bytes.reserve(static_cast<size_t>(st.st_size));
  char buffer[1 << 14];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return ErrnoError(errno);
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return bytes;
}

Status WriteFileAtomic(std::string_view path, std::string_view bytes) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  struct stat st {};
  bool exists = lstat(host->c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return ErrnoError(EISDIR);
  if (exists && IsReadOnlyMode(st.st_mode)) return ErrnoError(EACCES);
  return host::WriteFileAtomic(*host, bytes);
}

Status host::WriteFileAtomic(const fs::path& file, std::string_view bytes) {
  struct stat st {};
  // Only a regular file hands on its permissions: a link is replaced by a file of our own.
  bool keepMode = lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  host::AtomicFile temp(file);
  if (!temp.Ok()) return temp.Error();
  if (Status written = temp.Write(bytes.data(), bytes.size()); !written) return written;
  if (keepMode && fchmod(static_cast<int>(temp.NativeHandle()), st.st_mode & 07777) != 0)
    return ErrnoError(errno);
  return temp.Commit(true, true);
}

Status SetWriteTime(std::string_view path, int64_t unixSeconds) {
  Result<fs::path> host = Host(path);
  if (!host) return host.error();
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(unixSeconds), 0}};
  CrashPoint();
  if (utimensat(AT_FDCWD, host->c_str(), times, 0) != 0) return ErrnoError(errno);
  return {};
}

}  // namespace sorana::platform
