#include "tools/inspect_report.h"

#include "app/product_registry.h"
#include "app/standards_record.h"
#include "form/form_state.h"
#include "formats/ascii_case.h"
#include "formats/win_path_text.h"
#include "platform/file_system.h"
#include "platform/folders.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/version_info.h"
#include "platform/windows_system.h"
#include "signing/minisign.h"
#include "update/update_public_key.h"

namespace sorana::tools {

namespace {

constexpr std::string_view kOldPhaseLimit = "v1.2.9";

// The start-up removes the staging folder names from the recorded path in any letter case.
void EraseFirstFolderName(std::string& path, std::string_view name) {
  size_t at = formats::AsciiUpper(path).find(name);
  if (at != std::string::npos) path.erase(at, name.size());
}

// The record the start-up loads: the staging copy, else the one it is seeded
// from. Without NEW_BIN there is nothing to seed and no record is read.
std::string RecordFile(const std::string& installRoot) {
  std::string staging = installRoot + "NEW_BIN\\" + app::kRecordFileName;
  if (platform::FileExists(staging)) return staging;
  if (!platform::DirectoryExists(installRoot + "NEW_BIN")) return {};
  for (const std::string& seed :
       {installRoot + app::kRecordFileName, installRoot + "OLD_BIN\\" + app::kRecordFileName}) {
    if (platform::FileExists(seed)) return seed;
  }
  return {};
}

void ReadRegistry(InspectReport& report) {
  platform::Result<platform::RegistryKey> key =
      platform::RegistryKey::Open(platform::Hive::LocalMachine, app::kProductKey, false);
  if (!key) return;
  report.registryKey = "HKEY_LOCAL_MACHINE\\" + key->StoredPath();
  report.exename = key->ReadString("Exename");
}

void FindInstallRoot(InspectReport& report) {
  std::string workFolder;
  if (report.settingsReadable && !report.settings.Path.empty()) {
    workFolder = report.settings.Path;
    report.workFolderSource = "settings file";
  } else if (report.exename && !formats::ExtractFilePath(*report.exename).empty()) {
    workFolder = formats::ExtractFilePath(*report.exename);
    report.workFolderSource = "registry";
  }
  if (workFolder.empty()) return;
  EraseFirstFolderName(workFolder, "OLD_BIN\\");
  EraseFirstFolderName(workFolder, "NEW_BIN\\");
  report.installRoot = formats::IncludeTrailingBackslash(workFolder);
}

}  // namespace

InspectReport Inspect() {
  InspectReport report;
  report.prefixRoot = platform::ActiveSystem().Root().string();
  const update::UpdateKey key = update::UpdatePublicKey();
  if (!key.Held()) {
    report.updateKey = "none in this build (the updater installs what the server gives, unchecked)";
  } else if (!key.key) {
    report.updateKey = "not a key: \"" + key.text + "\" (every update is refused)";
  } else {
    report.updateKey = std::string(update::BuildHoldsKey() && key.text == update::BuildKeyText()
                                       ? "held by this build"
                                       : "from SORANA_UPDATE_PUBLIC_KEY") +
                       ", key id " + signing::KeyIdText(key.key->id) + " (only signed sites are installed)";
  }
  report.windowsFolder = platform::GetWindowsFolder();
  report.settingsFile = app::LocateInitFile();
  if (!report.settingsFile.empty() && platform::FileExists(report.settingsFile)) {
    report.settingsFound = true;
    if (std::optional<app::InitFileValues> values = app::ReadInitFile(report.settingsFile)) {
      report.settingsReadable = true;
      report.settings = *values;
    }
  }
  ReadRegistry(report);
  FindInstallRoot(report);
  if (report.installRoot.empty()) return report;

  report.nowVersion = platform::GetFileVersionText(report.installRoot + "fotodesk.exe");
  report.asksOverwrite = !(report.nowVersion < std::string_view(form::kUpVersion));
  report.twoFolderLayout = platform::DirectoryExists(report.installRoot + "OLD_BIN");
  std::string oldBinVersion = platform::GetFileVersionText(report.installRoot + "OLD_BIN\\fotodesk.exe");
  // The driver decides on the old-version phase from OLD_BIN's main program, which
  // is the install root's own before the first update converts the layout.
  report.runsOldPhase = (report.twoFolderLayout ? oldBinVersion : report.nowVersion) < kOldPhaseLimit;
  report.recordFile = RecordFile(report.installRoot);
  for (size_t i = 0; i < report.standards.size(); ++i) {
    report.standards[i] =
        report.recordFile.empty() || platform::ReadProfileInt(report.recordFile, app::kRecordSection,
                                                              catalogue::kStandardCaptions[i], 0) != 0;
  }
  return report;
}

std::string FormatReport(const InspectReport& r) {
  std::string out = "prefix: " + r.prefixRoot + "\n";
  out += "update public key: " + r.updateKey + "\n";
  out +=
      "Windows folder: " + (r.windowsFolder.empty() ? std::string("none (no C: drive)") : r.windowsFolder) +
      "\n";
  if (r.settingsFile.empty()) {
    out += "settings file: none (no Windows folder to look in)\n";
  } else {
    out += "settings file: " + r.settingsFile +
           (!r.settingsFound     ? " (missing)"
            : r.settingsReadable ? ""
                                 : " (cannot be read)") +
           "\n";
  }
  if (r.settingsReadable) {
    out += "  PROXYIP=" + r.settings.ProxyIP + "\n";
    out += "  PROXYPORT=" + r.settings.ProxyPort + "\n";
    out += "  PATH=" + r.settings.Path + "\n";
    out += "  VER=" + r.settings.Ver + "\n";
  }
  if (r.registryKey.empty()) {
    out += "registry key: none\n";
  } else {
    bool wow = formats::AsciiUpper(r.registryKey).find("\\WOW6432NODE\\") != std::string::npos;
    out += "registry key: " + r.registryKey + (wow ? " (32-bit view of a win64 prefix)" : " (win32 prefix)") +
           "\n";
    out += "Exename: " + r.exename.value_or("(none)") + "\n";
  }
  if (r.installRoot.empty()) {
    out += "install root: none (the updater ends at start without a message)\n";
    return out;
  }
  out += "install root: " + r.installRoot + " (from the " + r.workFolderSource + ")\n";
  out += "installed version: " + (r.nowVersion.empty() ? std::string("(none)") : r.nowVersion) + "\n";
  out += std::string("overwrite question: ") + (r.asksOverwrite ? "asked" : "not asked") + "\n";
  out +=
      std::string("phases: ") + (r.runsOldPhase ? "old-version and new-version" : "new-version only") + "\n";
  out += std::string("layout: ") +
         (r.twoFolderLayout ? "OLD_BIN and NEW_BIN" : "one folder (the first update converts it)") + "\n";
  out +=
      "standards record: " + (r.recordFile.empty() ? std::string("none (all checked)") : r.recordFile) + "\n";
  for (size_t i = 0; i < r.standards.size(); ++i) {
    out += std::string("  [") + (r.standards[i] ? "x" : " ") + "] " + std::to_string(i) + " " +
           std::string(catalogue::kStandardCaptions[i]) + "\n";
  }
  return out;
}

}  // namespace sorana::tools
