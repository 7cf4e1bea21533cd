#include "platform/environment.h"

#include <cstdlib>

namespace sorana::platform {

std::optional<std::string> EnvironmentVariable(std::string_view name) {
  const char* value = std::getenv(std::string(name).c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace sorana::platform
