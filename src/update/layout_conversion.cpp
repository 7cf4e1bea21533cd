#include "update/layout_conversion.h"

#include <algorithm>

#include "formats/ascii_case.h"
#include "platform/file_system.h"
#include "platform/file_tree.h"
#include "platform/process.h"
#include "platform/windows_system.h"

namespace sorana::update {

namespace {

// A source list of one item: the path and its NUL.
std::string Source(std::string path) {
  path.push_back('\0');
  return path;
}

// The source list without the items that name one of `keep` (compared as Windows does).
std::string Without(std::string_view sources, const std::vector<std::string>& keep) {
  std::vector<std::string> kept;
  kept.reserve(keep.size());
  for (const std::string& path : keep) kept.push_back(formats::AsciiUpper(path));
  std::string out;
  for (const std::string& item : platform::SourceListItems(sources)) {
    if (std::find(kept.begin(), kept.end(), formats::AsciiUpper(item)) != kept.end()) continue;
    out.append(item);
    out.push_back('\0');
  }
  return out;
}

}  // namespace

std::string ViewerRegistrationCommand(std::string_view installRoot) {
  std::string root(installRoot);
  return "\"" + root + "NEW_BIN\\PICVIEW\\regsvr32.exe\" /s \"" + root + "NEW_BIN\\PICVIEW\\PICIVIEW.OCX\"";
}

void MoveInstallationToOldBin(std::string_view installRoot, const std::vector<std::string>& keep) {
  const std::string root(installRoot);
  std::vector<std::string> staying = keep;
  staying.push_back(root + "OLD_BIN");
  platform::MoveFiles(Without(platform::ListFolderEntries(root + "*"), staying), root + "OLD_BIN");
}

void SetUpNewBin(std::string_view installRoot, const platform::ProcessWait& registration) {
  const std::string root(installRoot);
  platform::ForceDirectories(root + "NEW_BIN\\PICVIEW");
  platform::MoveFiles(Source(root + "OLD_BIN\\PICVIEW\\*.*"), root + "NEW_BIN\\PICVIEW");

  platform::ForceDirectories(root + "NEW_BIN\\Plugin");
  platform::ForceDirectories(root + "NEW_BIN\\template");
  platform::ForceDirectories(root + "NEW_BIN\\Layout");
  platform::CopyFiles(Source(root + "OLD_BIN\\Template\\*.*"), root + "NEW_BIN\\template");
  platform::CopyFiles(Source(root + "OLD_BIN\\Layout\\*.*"), root + "NEW_BIN\\Layout");

  for (const char* name : {"SRUNINST.EXE", "DWVIEWER.INI", "FOTODESK.INI"}) {
    platform::CopyFileTo(root + "OLD_BIN\\" + name, root + "New_BIN\\" + name, false);
  }

  platform::RunAndWait(ViewerRegistrationCommand(root), registration);
}

void ConvertLayout(std::string_view installRoot, std::string_view settingsFile,
                   const platform::ProcessWait& registration) {
  MoveInstallationToOldBin(installRoot, {std::string(settingsFile)});
  SetUpNewBin(installRoot, registration);
}

}  // namespace sorana::update
