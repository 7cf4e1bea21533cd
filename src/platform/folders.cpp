#include "platform/folders.h"

#include <cstdlib>
#include <filesystem>

#include "platform/win_path.h"

namespace sorana::platform {

std::string GetWindowsFolder() {
  // Wine keeps its Windows folder at C:\windows in every prefix.
  return ActivePrefix().ToHost("C:\\") ? "C:\\windows" : "";
}

std::string GetTempFolder() {
  const char* env = std::getenv("TMPDIR");
  // A relative TMPDIR names no fixed folder; use /tmp then.
  std::filesystem::path host = (env != nullptr && *env == '/') ? env : "/tmp";
  std::optional<std::string> windows = ActivePrefix().ToWindows(host);
  if (!windows) return "C:\\windows\\temp\\";
  return IncludeTrailingBackslash(*windows);  // "Z:\" already has its one
}

}  // namespace sorana::platform
