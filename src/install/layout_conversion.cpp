#include "install/layout_conversion.h"

#include "platform/file_system.h"
#include "platform/file_tree.h"
#include "platform/process.h"
#include "platform/win_path.h"

namespace sorana::install {

namespace {

// A source list of one item: the path and its NUL.
std::string Source(std::string path) {
  path.push_back('\0');
  return path;
}

// The source list without the item that names `keep` (compared as Windows does).
std::string Without(std::string_view sources, std::string_view keep) {
  const std::string kept = platform::AsciiUpper(keep);
  std::string out;
  for (size_t start = 0; start < sources.size();) {
    size_t end = sources.find('\0', start);
    if (end == std::string_view::npos) end = sources.size();
    std::string_view item = sources.substr(start, end - start);
    if (kept.empty() || platform::AsciiUpper(item) != kept) {
      out.append(item);
      out.push_back('\0');
    }
    start = end + 1;
  }
  return out;
}

}  // namespace

std::string ViewerRegistrationCommand(std::string_view installRoot) {
  std::string root(installRoot);
  return "\"" + root + "NEW_BIN\\PICVIEW\\regsvr32.exe\" /s \"" + root + "NEW_BIN\\PICVIEW\\PICIVIEW.OCX\"";
}

void ConvertLayout(std::string_view installRoot, std::string_view settingsFile,
                   const platform::ProcessWait& registration) {
  const std::string root(installRoot);
  platform::MoveFiles(Without(platform::ListFolderEntries(root + "*"), settingsFile), root + "OLD_BIN");

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

}  // namespace sorana::install
