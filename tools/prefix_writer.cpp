#include "tools/prefix_writer.h"

#include <system_error>
#include <vector>

#include "app/product_registry.h"
#include "app/settings_file.h"
#include "app/standards_record.h"
#include "catalogue/standards.h"
#include "formats/ascii_case.h"
#include "formats/win_path_text.h"
#include "install/expanded_name.h"
#include "platform/registry.h"
#include "platform/windows_system.h"
#include "tools/host_files.h"
#include "tools/site_content.h"
#include "tools/site_error.h"
#include "tools/wine_tools.h"

namespace sorana::tools {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMainProgram = "fotodesk.exe";
constexpr size_t kInstalledPluginSize = 2048;

// The template sets a first installation carries: those of the old-version components.
std::vector<std::string_view> FirstTemplateFolders() {
  std::vector<std::string_view> folders;
  for (const catalogue::ProgramRow& row : catalogue::ProgramRows(true)) {
    if (row.role == catalogue::Role::Template && (folders.empty() || folders.back() != row.folder))
      folders.push_back(row.folder);
  }
  return folders;
}

// Many small files: they reach the disk together at the end of WritePrefix.
void Put(const fs::path& path, std::string_view bytes) { WriteHostFile(path, bytes, Flush::Later); }

// `base` followed by the components of a relative Windows path.
fs::path HostBelow(fs::path base, std::string_view windowsRelative) {
  std::string part;
  for (char ch : windowsRelative) {
    if (ch == '\\') {
      if (!part.empty()) base /= part;
      part.clear();
    } else {
      part += ch;
    }
  }
  if (!part.empty()) base /= part;
  return base;
}

void RequireNewFolder(const fs::path& root) {
  std::error_code ec;
  if (fs::exists(root, ec) && !(fs::is_directory(root, ec) && fs::is_empty(root, ec))) {
    throw SiteError(root.string() + " already exists and is not empty; give a new folder for the prefix");
  }
}

void WriteSkeleton(const PrefixOptions& options) {
  const fs::path& root = options.root;
  MakeHostFolder(root / "drive_c" / "windows" / "system32");
  MakeHostFolder(root / "drive_c" / "windows" / "temp");
  MakeHostFolder(root / "dosdevices");
  std::error_code ec;
  fs::create_directory_symlink("../drive_c", root / "dosdevices" / "c:", ec);
  if (!ec) fs::create_directory_symlink("/", root / "dosdevices" / "z:", ec);
  if (ec)
    throw SiteError("cannot create the drive links in " + (root / "dosdevices").string() + ": " +
                    ec.message());
  std::string arch = options.win64 ? "win64" : "win32";
  Put(root / "system.reg",
      "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=" + arch + "\n\n");
  Put(root / "user.reg",
      "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=" + arch +
          "\n\n");
}

// A prefix that Wine or this tool made before: its registry and drive C:.
bool IsPrefix(const fs::path& root) {
  std::error_code ec;
  return fs::is_regular_file(root / "system.reg", ec) && fs::is_directory(root / "drive_c", ec);
}

fs::path ProductFolderIn(const fs::path& root) {
  return HostBelow(root / "drive_c", std::string_view(kProductFolder).substr(3));
}

void RegisterProduct(const PrefixOptions& options) {
  const std::string exename = std::string(kProductFolder) + std::string(kMainProgram);
  if (options.useWine) {
    WineRegAddString(options.root, std::string("HKLM\\") + app::kProductKey, "Exename", exename);
    return;
  }
  platform::WindowsSystem prefix(options.root);
  platform::Result<platform::RegistryKey> key =
      platform::RegistryKey::Open(prefix, platform::Hive::LocalMachine, app::kProductKey, true);
  if (!key || !key->WriteString("Exename", exename)) {
    throw SiteError("cannot write the product key to " + (options.root / "system.reg").string());
  }
}

// The installed name of a standard's data file, as the plug-in step names it.
std::string PluginName(std::string_view name) {
  std::string ext = formats::AsciiUpper(formats::ExtractFileExt(name));
  std::string installed = ext == ".XL_" ? ".XLS" : ext == ".DO_" ? ".DOC" : ".SPI";
  return formats::ChangeFileExt(name, installed);
}

void WriteProgramFiles(const fs::path& folder, bool oldRelease, const VersionParts& version) {
  Put(folder / std::string(kMainProgram), ProgramImage(version, "installed/fotodesk", 4096));
  for (const catalogue::ProgramRow& row : catalogue::ProgramRows(oldRelease)) {
    if (row.role != catalogue::Role::Program && row.role != catalogue::Role::ProgramAbove &&
        row.role != catalogue::Role::Library)
      continue;
    std::string installed = install::ExpandedName(row.name);
    Put(folder / installed, ProgramImage(version, "installed/" + installed, 2048));
  }
  Put(folder / "SRUNINST.EXE", ProgramImage(version, "installed/SRUNINST.EXE", 2048));
}

void WriteDataFiles(const fs::path& folder, bool oldRelease, const catalogue::StandardChoice& standards) {
  for (size_t s = 0; s < standards.size(); ++s) {
    if (!standards[s]) continue;
    auto write = [&](std::string_view name) {
      if (name.empty()) return;
      std::string installed = PluginName(name);
      Put(folder / "plugin" / installed, PluginImage("installed/" + installed, kInstalledPluginSize));
    };
    if (oldRelease) {
      for (std::string_view name : catalogue::OldStandardFiles[s]) write(name);
    } else {
      for (std::string_view name : catalogue::NewStandardFiles[s]) write(name);
    }
  }
  MakeHostFolder(folder / "plugin");
  for (std::string_view templ : FirstTemplateFolders()) {
    fs::path target = HostBelow(folder, templ);
    Put(target / "LIST.TXT", RecordText("installed/list/" + std::string(templ), 512));
    Put(target / "TEMPLATE.TXT", RecordText("installed/template/" + std::string(templ), 512));
  }
  Put(folder / "Layout" / "標準.LAY", RecordText("installed/layout", 1024));
  Put(folder / "PICVIEW" / "regsvr32.exe", ProgramImage({5, 1, 2600, 0}, "installed/regsvr32", 2048));
  Put(folder / "PICVIEW" / "PICIVIEW.OCX", ProgramImage({1, 0, 0, 0}, "installed/piciview", 2048));
}

void WriteSettings(const fs::path& folder, const PrefixOptions& options) {
  const VersionParts& v = *options.installed;
  // The main program's own settings: a user's choices, without the media-label section.
  Put(folder / "FOTODESK.INI", "[Setting]\r\nDataFolder=C:\\VELMORA\\SORANA\\DATA\\\r\nPhotoSize=800\r\n");
  Put(folder / "DWVIEWER.INI", "[Viewer]\r\nZoom=100\r\n");
  std::string record = "[" + std::string(app::kRecordSection) + "]\r\n";
  for (size_t s = 0; s < catalogue::kStandardCaptions.size(); ++s) {
    record += std::string(catalogue::kStandardCaptions[s]) + (options.standards[s] ? "=1" : "=0") + "\r\n";
  }
  Put(folder / app::kRecordFileName, ToCp932(record));
  std::string init = "PROXYIP=\r\nPROXYPORT=0\r\nPATH=" + std::string(kProductFolder) +
                     "\r\nVER=" + std::to_string(v[0]) + "." + std::to_string(v[1]) + "." +
                     std::to_string(v[2]) + "\r\n";
  Put(folder / app::kInitFileName, ToCp932(init));
}

void WriteInstallation(const PrefixOptions& options) {
  // Installations older than the intermediate release carry the old data files.
  bool oldRelease = VersionText(*options.installed) < std::string_view("v1.2.9");
  fs::path folder = ProductFolderIn(options.root);
  WriteProgramFiles(folder, oldRelease, *options.installed);
  WriteDataFiles(folder, oldRelease, options.standards);
  WriteSettings(folder, options);
  RegisterProduct(options);
}

}  // namespace

std::string VersionText(const VersionParts& version) {
  return "v" + std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]) + "." + std::to_string(version[3]);
}

void WritePrefix(const PrefixOptions& options) {
  if (IsPrefix(options.root)) {
    std::error_code ec;
    if (fs::exists(ProductFolderIn(options.root), ec))
      throw SiteError(options.root.string() + " already holds the product; give a prefix without it");
  } else {
    RequireNewFolder(options.root);
    if (options.useWine) {
      BootPrefix(options.root, options.win64);
    } else {
      WriteSkeleton(options);
    }
  }
  if (options.installed) WriteInstallation(options);
  FlushFileSystem(options.root);
}

}  // namespace sorana::tools
