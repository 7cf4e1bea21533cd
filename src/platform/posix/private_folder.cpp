#include "platform/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "formats/win_path_text.h"
#include "platform/crash_point.h"
#include "platform/windows_system.h"

namespace sorana::platform {

namespace fs = std::filesystem;

namespace {

FolderTrust JudgeStat(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return FolderTrust::SymbolicLink;
  if (!S_ISDIR(st.st_mode)) return FolderTrust::NotAFolder;
  if (st.st_uid != geteuid()) return FolderTrust::ForeignOwner;
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return FolderTrust::WritableByOthers;
  return FolderTrust::Private;
}

}  // namespace

namespace host {

FolderTrust JudgeFolder(const fs::path& folder) {
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0) return FolderTrust::Missing;
  return JudgeStat(st);
}

FolderTrust JudgeResolvedFolder(const fs::path& folder) {
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0) return FolderTrust::Missing;
  return JudgeStat(st);
}

}  // namespace host

Result<FolderTrust> ForcePrivateFolder(std::string_view path) {
  std::optional<fs::path> folder = ToHost(formats::ExcludeTrailingBackslash(std::string(path)));
  if (!folder) return ErrnoError(ENOENT);
  // An existing entry stays as it is: mkdir neither follows nor replaces it.
  struct stat st {};
  if (lstat(folder->c_str(), &st) == 0) return JudgeStat(st);
  CrashPoint();
  std::error_code ec;
  fs::create_directories(folder->parent_path(), ec);
  if (mkdir(folder->c_str(), 0700) != 0 && errno != EEXIST) return ErrnoError(errno);
  if (lstat(folder->c_str(), &st) != 0) return ErrnoError(errno);
  return JudgeStat(st);
}

}  // namespace sorana::platform
