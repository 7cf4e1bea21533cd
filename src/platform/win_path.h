// Windows path texts inside a Wine prefix.
//
// The core holds every path as a Windows path text in UTF-8 ("C:\VELMORA\SORANA\").
// Only this module turns such a text into a host file: drive X: is the symbolic
// link <prefix>/dosdevices/x:, and each component is matched exactly first, then
// case-insensitively against the folder's entries, as Wine does. A component that
// does not exist yet keeps the spelling given.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sorana::platform {

class WinePrefix {
 public:
  explicit WinePrefix(std::filesystem::path root);

  // WINEPREFIX when set and non-empty, else ~/.wine (as Wine chooses it).
  static WinePrefix FromEnvironment();

  const std::filesystem::path& Root() const { return root_; }

  // Host path of an absolute Windows path ("C:\x\y", "c:/x", "\\?\C:\x" is not
  // supported). nullopt when the path is not absolute or names no drive of the prefix.
  std::optional<std::filesystem::path> ToHost(std::string_view windowsPath) const;

  // Windows path of a host path through the drive whose target is the longest
  // prefix of it (z: maps /). nullopt when no drive maps it.
  std::optional<std::string> ToWindows(const std::filesystem::path& hostPath) const;

 private:
  std::filesystem::path root_;
};

// The prefix the process works on. Until SetActivePrefix is called it is
// WinePrefix::FromEnvironment().
const WinePrefix& ActivePrefix();
void SetActivePrefix(WinePrefix prefix);

// Shorthand for ActivePrefix().ToHost(path).
std::optional<std::filesystem::path> ToHost(std::string_view windowsPath);

}  // namespace sorana::platform
