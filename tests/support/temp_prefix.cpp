#include "support/temp_prefix.h"

#include <cstdlib>
#include <stdexcept>

#include "platform/windows_system.h"

namespace sorana::test {

namespace fs = std::filesystem;

TempPrefix::TempPrefix(std::string_view arch) {
  std::string templ = (fs::temp_directory_path() / "sorana-test-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  base_ = templ;
  root_ = base_ / "prefix";
  scratch_ = base_ / "scratch";
  fs::create_directories(root_ / "drive_c" / "windows" / "temp");
  fs::create_directories(root_ / "dosdevices");
  fs::create_directories(scratch_);
  fs::create_directory_symlink("../drive_c", root_ / "dosdevices" / "c:");
  fs::create_directory_symlink("/", root_ / "dosdevices" / "z:");
  std::string header =
      "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=" + std::string(arch) + "\n\n";
  WriteFile(root_ / "system.reg", header);
  WriteFile(root_ / "user.reg",
            "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=" +
                std::string(arch) + "\n\n");
  platform::SetActiveSystem(platform::WindowsSystem(root_));
}

TempPrefix::~TempPrefix() {
  std::error_code ec;
  // Read-only folders left by a test would stop the removal: give write back first.
  for (auto it = fs::recursive_directory_iterator(base_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(base_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(base_, ec);
}

fs::path TempPrefix::HostC(std::string_view windowsPathOnC) const {
  std::string rest(windowsPathOnC.substr(windowsPathOnC.size() >= 2 ? 2 : 0));
  fs::path out = DriveC();
  std::string part;
  for (char ch : rest) {
    if (ch == '\\' || ch == '/') {
      if (!part.empty()) out /= part;
      part.clear();
    } else {
      part += ch;
    }
  }
  if (!part.empty()) out /= part;
  return out;
}

void TempPrefix::MakeReadOnly(const fs::path& path) {
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

bool TempPrefix::IsReadOnly(const fs::path& path) {
  return (fs::symlink_status(path).permissions() & fs::perms::owner_write) == fs::perms::none;
}

}  // namespace sorana::test
