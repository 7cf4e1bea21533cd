// What is at a path, from the host's own attributes: the same on every host.
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/file_system.h"

namespace sorana::platform {

bool FileExists(std::string_view path) {
  std::optional<uint32_t> attributes = GetAttributes(path);
  return attributes && (*attributes & kAttrDirectory) == 0;
}

bool DirectoryExists(std::string_view path) {
  std::optional<uint32_t> attributes = GetAttributes(path);
  return attributes && (*attributes & kAttrDirectory) != 0;
}

bool PathExists(std::string_view path) { return GetAttributes(path).has_value(); }

}  // namespace sorana::platform
