#include "tools/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include "tools/site_error.h"

namespace sorana::tools {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(std::string_view what, const fs::path& path, int error) {
  throw SiteError(std::string(what) + " " + path.string() + ": " + std::strerror(error));
}

bool WriteAll(int fd, std::string_view bytes) {
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

void MakeHostFolder(const fs::path& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  if (ec || !fs::is_directory(path)) Fail("cannot create folder", path, ec ? ec.value() : ENOTDIR);
}

void WriteHostFile(const fs::path& path, std::string_view bytes, Flush flush) {
  fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  MakeHostFolder(folder);
  std::string temp = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  int fd = mkstemp(temp.data());
  if (fd < 0) Fail("cannot write", path, errno);
  bool ok = WriteAll(fd, bytes) && fchmod(fd, 0644) == 0 && (flush == Flush::Later || fsync(fd) == 0);
  int error = errno;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temp.c_str(), path.c_str()) == 0) return;
  error = errno ? errno : error;
  unlink(temp.c_str());
  Fail("cannot write", path, error);
}

void FlushFileSystem(const fs::path& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("cannot open", path, errno);
  bool ok = syncfs(fd) == 0;
  int error = errno;
  close(fd);
  if (!ok) Fail("cannot flush", path, error);
}

std::string ReadHostFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read", path, errno ? errno : ENOENT);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) Fail("cannot read", path, EIO);
  return bytes;
}

}  // namespace sorana::tools
