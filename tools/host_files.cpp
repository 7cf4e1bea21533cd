#include "tools/host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/file_system.h"
#include "tools/site_error.h"

namespace sorana::tools {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(std::string_view what, const fs::path& path, int error) {
  throw SiteError(std::string(what) + " " + path.string() + ": " + std::strerror(error));
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
  platform::host::AtomicFile out(folder / path.filename());
  if (!out.Ok()) Fail("cannot write", path, out.Error().code);
  if (platform::Status written = out.Write(bytes.data(), bytes.size()); !written) {
    Fail("cannot write", path, written.error().code);
  }
  if (fchmod(static_cast<int>(out.NativeHandle()), 0644) != 0) Fail("cannot write", path, errno);
  if (platform::Status committed = out.Commit(true, flush == Flush::Now); !committed) {
    Fail("cannot write", path, committed.error().code);
  }
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
