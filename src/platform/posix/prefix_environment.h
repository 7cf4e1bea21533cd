// The environment variables that Wine gives a program in a prefix, as far as
// the registry of the prefix holds them, and the expansion of %NAME% texts
// (REG_EXPAND_SZ values) against them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/windows_system.h"

namespace sorana::platform {

// The value of variable `name` (without case) in a program of the prefix:
// HKCU\Volatile Environment (USERPROFILE, APPDATA, ...), then HKCU\Environment,
// then HKLM's Session Manager\Environment, each expanded; SystemRoot, windir
// and SystemDrive as Wine sets them; USERPROFILE defaults to the profile
// folder Wine makes for the host user. nullopt when none of them has it.
std::optional<std::string> PrefixVariable(const WindowsSystem& prefix, std::string_view name);

// Replaces every %NAME% whose variable is known; unknown ones and a lone "%"
// stay as written, as ExpandEnvironmentStrings leaves them.
std::string ExpandPrefixVariables(const WindowsSystem& prefix, std::string_view text);

}  // namespace sorana::platform
