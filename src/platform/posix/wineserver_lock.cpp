#include "platform/posix/wineserver_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace sorana::platform {

namespace fs = std::filesystem;

bool WineServerRunning(const WindowsSystem& prefix) {
  struct stat st {};
  if (stat(prefix.Root().c_str(), &st) != 0) return false;
  char serverFolder[64];
  std::snprintf(serverFolder, sizeof serverFolder, "server-%llx-%llx",
                static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino));

  std::vector<fs::path> bases{fs::path("/tmp") / (".wine-" + std::to_string(getuid()))};
  // Debian's wine keeps its server folders in a folder named in the prefix,
  // under TMPDIR as the server found it: ours, or /tmp when it had none.
  std::ifstream named(prefix.Root() / "wineserver");
  std::string tmpName;
  if (named && std::getline(named, tmpName)) {
    while (!tmpName.empty() && (tmpName.back() == '\r' || tmpName.back() == ' ')) tmpName.pop_back();
    if (!tmpName.empty() && tmpName.find('/') == std::string::npos && tmpName != "." && tmpName != "..") {
      bases.push_back(fs::path("/tmp") / tmpName);
      const char* tmpDir = std::getenv("TMPDIR");
      if (tmpDir != nullptr && tmpDir[0] == '/') bases.push_back(fs::path(tmpDir) / tmpName);
    }
  }

  for (const fs::path& base : bases) {
    fs::path lockFile = base / serverFolder / "lock";
    int fd = open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT || errno == ENOTDIR) continue;
      return true;  // there but unreadable: a server cannot be ruled out
    }
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    int rc = fcntl(fd, F_GETLK, &lock);
    close(fd);
    if (rc != 0 || lock.l_type != F_UNLCK) return true;
  }
  return false;
}

}  // namespace sorana::platform
