// What is at a path, from the host's own attributes: the same on every host.
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/file_system.h"
#include "platform/windows_system.h"

namespace sorana::platform {

std::optional<uint32_t> GetAttributes(std::string_view path) {
  std::optional<std::filesystem::path> host = ToHost(path);
  if (!host) {
    SetHostError(ENOENT);  // a path that names no drive
    return std::nullopt;
  }
  return host::AttributesOf(*host);
}

bool FileExists(std::string_view path) {
  std::optional<uint32_t> attributes = GetAttributes(path);
  return attributes && (*attributes & kAttrDirectory) == 0;
}

std::optional<uint64_t> FileSize(std::string_view path) {
  std::optional<std::filesystem::path> host = ToHost(path);
  if (!host) {
    SetHostError(ENOENT);
    return std::nullopt;
  }
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(*host, ec);
  if (ec) {
    SetHostError(ec.value());
    return std::nullopt;
  }
  return size;
}

bool DirectoryExists(std::string_view path) {
  std::optional<uint32_t> attributes = GetAttributes(path);
  return attributes && (*attributes & kAttrDirectory) != 0;
}

bool PathExists(std::string_view path) { return GetAttributes(path).has_value(); }

}  // namespace sorana::platform
