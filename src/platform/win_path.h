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

// Pure text helpers on Windows paths (no file access).
bool EndsWithBackslash(std::string_view path);
std::string IncludeTrailingBackslash(std::string path);
std::string ExcludeTrailingBackslash(std::string path);
// Folder part including its last backslash or drive colon ("C:\a\b.exe" -> "C:\a\");
// empty without either.
std::string ExtractFilePath(std::string_view path);
// Name after the last backslash or drive colon.
std::string ExtractFileName(std::string_view path);
// Extension from the last "." of the name, dot included; empty when there is none.
std::string ExtractFileExt(std::string_view path);
// Replaces the extension of the name (adds one when there is none).
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// ASCII-only upper-casing (a-z), the rule Windows applies to names in ANSI texts.
std::string AsciiUpper(std::string_view text);
// "C:\dir\name" split into "C:\dir\" and "name" (also at a forward slash).
std::pair<std::string_view, std::string_view> SplitLastComponent(std::string_view path);
// The components of a path below its drive, "." and ".." resolved textually;
// ".." never climbs above the drive root, as on Windows.
std::vector<std::string_view> ResolvedComponents(std::string_view belowDrive);

}  // namespace sorana::platform
