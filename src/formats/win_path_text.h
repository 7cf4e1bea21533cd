// Windows path texts ("C:\\VELMORA\\SORANA\\FOTODESK.EXE") taken apart and put
// together as the application's runtime library does, with no file behind them.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sorana::formats {

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
// "C:\dir\name" split into "C:\dir\" and "name" (also at a forward slash).
std::pair<std::string_view, std::string_view> SplitLastComponent(std::string_view path);
// The components of a path below its drive, "." and ".." resolved textually;
// ".." never climbs above the drive root, as on Windows.
std::vector<std::string_view> ResolvedComponents(std::string_view belowDrive);

}  // namespace sorana::formats
