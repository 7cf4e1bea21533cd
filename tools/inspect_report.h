// What the updater finds at start-up in a prefix, read without changing
// anything: the settings file and its values, the product's registry value and
// the view it came from, the install root, the installed version and the
// recorded choice of standards. Support staff ask users for exactly this.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "app/settings_file.h"
#include "catalogue/standards.h"

namespace sorana::tools {

struct InspectReport {
  std::string prefixRoot;     // host folder of the prefix
  std::string updateKey;      // whether the updater checks signed lists, and with which key
  std::string windowsFolder;  // empty when the prefix has no C: drive

  std::string settingsFile;  // where the updater looks for VMSORANA.INI
  bool settingsFound = false;
  bool settingsReadable = false;
  app::InitFileValues settings;

  std::string registryKey;  // hive and key as stored; empty when the key is missing
  std::optional<std::string> exename;

  std::string workFolderSource;  // "settings file", "registry" or empty when none
  std::string installRoot;       // empty: the updater would end at start without a message
  std::string nowVersion;        // version text of InstallRoot\fotodesk.exe
  bool asksOverwrite = false;    // the installed version is not below the offered one
  bool runsOldPhase = false;     // the installed version is below v1.2.9
  bool twoFolderLayout = false;  // OLD_BIN exists already

  std::string recordFile;  // the record the check states come from; empty: none, all checked
  std::array<bool, catalogue::kStandardCount> standards{};
};

// Reads the active prefix.
InspectReport Inspect();

// The report as lines of text, one fact a line.
std::string FormatReport(const InspectReport& report);

}  // namespace sorana::tools
