// Writes a Wine-style prefix with the product installed as a user's first
// installation leaves it: one folder C:\VELMORA\SORANA\ holding fotodesk.exe,
// the other programs, plugin\, Template\, Layout\, PICVIEW\, FOTODESK.INI and
// the standards record Install.ini; the settings file VMSORANA.INI beside them;
// the product's registry key with "Exename" in the 32-bit view.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "catalogue/catalogue.h"
#include "tools/program_file_writer.h"

namespace sorana::tools {

inline constexpr const char* kProductFolder = "C:\\VELMORA\\SORANA\\";

struct PrefixOptions {
  std::filesystem::path root;
  std::optional<VersionParts> installed;  // nullopt: a prefix without the product
  catalogue::StandardChoice standards{};  // the recorded choice, and the plug-ins installed
  bool win64 = false;
  // Made by Wine's own wineboot, the product key written by Wine's reg; else
  // the tool writes a minimal prefix and the registry file itself.
  bool useWine = false;
};

// "v" + the four parts joined by ".", as the updater reads a file's version.
std::string VersionText(const VersionParts& version);

// Writes the prefix into a new or empty folder, or installs the product into
// an existing prefix that does not hold it yet (one made by wineboot, say), so
// an installation is never overwritten. Throws SiteError on any failure.
void WritePrefix(const PrefixOptions& options);

}  // namespace sorana::tools
