// The command line of the library's Unlha entry.
#pragma once

#include <string>
#include <string_view>

namespace unlha32 {

struct UnlhaCommand {
  bool ok = false;
  std::string archive;       // as given (Windows path or host path)
  std::string folder;        // as given, with its trailing separator
  bool keepFolders = false;  // -d1
  std::string problem;       // why the line was not understood, when !ok
};

// Understands: e [switches] "<archive>" [switches] "<folder>\" [switches], where
// the switches are -jyc, -jyo, -d1 and -c1. A quoted argument runs to the next
// quotation mark (a backslash does not escape it).
UnlhaCommand ParseUnlhaCommand(std::string_view line);

// True for "X:\..." / "X:/..." and for host paths starting with "/".
bool IsAbsoluteArgument(std::string_view path);

}  // namespace unlha32
