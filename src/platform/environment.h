// This program's own environment, as UTF-8 texts on every host.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sorana::platform {

// The variable's value; nullopt when it is not set (or, on Windows, not
// representable). An empty value is returned as the empty text.
std::optional<std::string> EnvironmentVariable(std::string_view name);

}  // namespace sorana::platform
