// The Windows system the installation lives on, and its Windows paths.
//
// The core holds every path as a Windows path text in UTF-8 ("C:\VELMORA\SORANA\").
// Only this module turns such a text into a host file. On Linux the system is
// a Wine prefix (its folder is the root): drive X: is the link
// <root>/dosdevices/x:, and each component is matched exactly first, then
// case-insensitively against the folder's entries, as Wine does; a component
// that does not exist yet keeps the spelling given. On Windows it is the
// running system itself: a path is its own host path, and a root names only
// the scratch folder the tests work in.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace sorana::platform {

class WindowsSystem {
 public:
  explicit WindowsSystem(std::filesystem::path root);

  // The one the user runs: on Linux WINEPREFIX when set and non-empty, else
  // ~/.wine (as Wine chooses it); on Windows the running system.
  static WindowsSystem FromEnvironment();

  const std::filesystem::path& Root() const { return root_; }

  // Host path of an absolute Windows path ("C:\x\y", "c:/x"; "\\?\C:\x" is not
  // supported). nullopt when the path is not absolute or names no drive of the system.
  std::optional<std::filesystem::path> ToHost(std::string_view windowsPath) const;

  // Windows path of a host path through the drive whose target is the longest
  // prefix of it (on Linux z: maps /). nullopt when no drive maps it.
  std::optional<std::string> ToWindows(const std::filesystem::path& hostPath) const;

 private:
  std::filesystem::path root_;
};

// The system the process works on. Until SetActiveSystem is called it is
// WindowsSystem::FromEnvironment().
const WindowsSystem& ActiveSystem();
void SetActiveSystem(WindowsSystem system);

// Shorthand for ActiveSystem().ToHost(path).
std::optional<std::filesystem::path> ToHost(std::string_view windowsPath);

}  // namespace sorana::platform
