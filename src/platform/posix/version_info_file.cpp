// The version text of a program file of the prefix: its bytes read from the
// host, then parsed by VersionTextFromImage.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "formats/version_resource.h"
#include "platform/version_info.h"
#include "platform/windows_system.h"

namespace sorana::platform {

namespace {
// Larger files are not program files this system installs; they are not read.
constexpr uint64_t kMaxImageSize = 256ull << 20;
}  // namespace

std::string GetFileVersionText(std::string_view windowsPath) {
  std::optional<std::filesystem::path> host = ToHost(windowsPath);
  if (!host) return {};
  int fd = open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return {};
  struct stat st {};
  std::vector<uint8_t> bytes;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= kMaxImageSize;
  if (ok) {
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;  // a file that shrank is parsed as far as it goes
      done += static_cast<size_t>(got);
    }
    bytes.resize(done);
  }
  close(fd);
  if (!ok) return {};
  return formats::VersionTextFromImage(bytes);
}

}  // namespace sorana::platform
