// What is at a path, from the host's own attributes: the same on every host.
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/file_system.h"
#include "platform/windows_system.h"

namespace sorana::platform {

Result<uint32_t> GetAttributes(std::string_view path) {
  std::optional<std::filesystem::path> host = ToHost(path);
  if (!host) return ErrnoError(ENOENT);  // a path that names no drive
  return host::AttributesOf(*host);
}

bool FileExists(std::string_view path) {
  Result<uint32_t> attributes = GetAttributes(path);
  return attributes && (*attributes & kAttrDirectory) == 0;
}

Result<uint64_t> FileSize(std::string_view path) {
  std::optional<std::filesystem::path> host = ToHost(path);
  if (!host) return ErrnoError(ENOENT);
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(*host, ec);
  if (ec) return ErrnoError(ec.value());
  return static_cast<uint64_t>(size);
}

bool DirectoryExists(std::string_view path) {
  Result<uint32_t> attributes = GetAttributes(path);
  return attributes && (*attributes & kAttrDirectory) != 0;
}

bool PathExists(std::string_view path) { return GetAttributes(path).has_value(); }

}  // namespace sorana::platform
