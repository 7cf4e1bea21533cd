#include "platform/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "formats/win_path_text.h"
#include "platform/crash_point.h"
#include "platform/posix/prefix_environment.h"
#include "platform/private_folder.h"
#include "platform/registry.h"
#include "platform/windows_system.h"

namespace sorana::platform {

namespace fs = std::filesystem;

namespace {

// "C:\a\b" spelled with the names the host folders carry ("c:\USERS\x" -> "c:\users\x"),
// the form GetLongPathName gives; nullopt when the path names no existing host folder.
std::optional<std::string> LongFolderForm(const WindowsSystem& prefix, const std::string& path) {
  std::optional<fs::path> host = prefix.ToHost(path);
  std::optional<fs::path> drive = prefix.ToHost(path.substr(0, 2) + "\\");
  std::error_code ec;
  if (!host || !drive || !fs::is_directory(*host, ec)) return std::nullopt;
  std::string form = path.substr(0, 2);
  for (const fs::path& part : host->lexically_relative(*drive)) {
    if (part == ".") continue;
    form += "\\" + part.string();
  }
  return form;
}

// The prefix's own temporary folder, when it can be trusted with the downloads.
std::optional<std::string> PrefixTempFolder(const WindowsSystem& prefix) {
  Result<RegistryKey> key = RegistryKey::Open(prefix, Hive::CurrentUser, "Environment", false);
  std::optional<std::string> value = key ? key->ReadString("TEMP") : std::nullopt;
  if (!value || value->empty()) return std::nullopt;
  std::string expanded = formats::ExcludeTrailingBackslash(ExpandPrefixVariables(prefix, *value));
  std::optional<std::string> form = LongFolderForm(prefix, expanded);
  if (!form) return std::nullopt;
  // Followed: a user may keep the folder elsewhere through a link of their own.
  if (host::JudgeResolvedFolder(*prefix.ToHost(*form)) != FolderTrust::Private) return std::nullopt;
  return form;
}

// A folder of ours below TMPDIR (else /tmp): the fixed name when it is ours and
// private, else a fresh one that nobody else can have made.
std::optional<fs::path> OwnHostTempFolder() {
  const char* env = std::getenv("TMPDIR");
  // A relative TMPDIR names no fixed folder; use /tmp then.
  fs::path base = (env != nullptr && *env == '/') ? env : "/tmp";
  fs::path fixed = base / ("sorana-" + std::to_string(geteuid()));
  struct stat st {};
  if (lstat(fixed.c_str(), &st) != 0) {
    CrashPoint();
    mkdir(fixed.c_str(), 0700);
  }
  if (host::JudgeFolder(fixed) == FolderTrust::Private) return fixed;
  std::string pattern = fixed.string() + "-XXXXXX";
  CrashPoint();
  if (mkdtemp(pattern.data()) == nullptr) return std::nullopt;
  return fs::path(pattern);
}

}  // namespace

std::string GetWindowsFolder() {
  // Wine keeps its Windows folder at C:\windows in every prefix.
  return ActiveSystem().ToHost("C:\\") ? "C:\\windows" : "";
}

std::string GetTempFolder() {
  const WindowsSystem& prefix = ActiveSystem();
  if (std::optional<std::string> temp = PrefixTempFolder(prefix))
    return formats::IncludeTrailingBackslash(*temp);
  std::optional<fs::path> own = OwnHostTempFolder();
  std::optional<std::string> windows = own ? prefix.ToWindows(*own) : std::nullopt;
  if (!windows) return "C:\\windows\\temp\\";
  return formats::IncludeTrailingBackslash(*windows);
}

}  // namespace sorana::platform
