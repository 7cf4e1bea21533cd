// Windows private-profile (INI) files, CP932 on disk, UTF-8 in memory, read
// and written by the rules of formats/profile_text.h; a write replaces the
// file atomically.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace sorana::platform {

// GetPrivateProfileStringA: the value, or `fallback` when the file, section or key is missing.
std::string ReadProfileString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view fallback);
// GetPrivateProfileIntA: a whole number in decimal or after a leading 0x in
// hexadecimal; anything else gives `fallback`.
int ReadProfileInt(std::string_view file, std::string_view section, std::string_view key, int fallback);
// WritePrivateProfileStringA: creates the file when missing. Fails when it cannot
// be written or the entry cannot be stored (see formats::ProfileWithStoredEntry).
Status StoreProfileString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view value);

}  // namespace sorana::platform
