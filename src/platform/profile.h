// Windows private-profile (INI) files, CP932 on disk, UTF-8 in memory.
//
// Section and key names compare case-insensitively; the first matching section
// and key win. A write changes only its own line (or adds the key, or the
// section) and keeps every other byte; the file is replaced atomically.
#pragma once

#include <string>
#include <string_view>

namespace sorana::platform {

// GetPrivateProfileStringA: the value, or `fallback` when the file, section or key is missing.
std::string ReadProfileString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view fallback);
// GetPrivateProfileIntA: a whole number in decimal or after a leading 0x in
// hexadecimal; anything else gives `fallback`.
int ReadProfileInt(std::string_view file, std::string_view section, std::string_view key, int fallback);
// WritePrivateProfileStringA: creates the file when missing. False when it cannot
// be written or the entry cannot be stored (see ProfileWithEntry).
bool StoreProfileString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view value);

// The same on file contents in memory (CP932 bytes), for callers that batch
// several writes into one file replacement and for fuzzing. Names and values
// are UTF-8 as above. ProfileLookup sets *found (when given) and gives the empty
// text when the entry is missing; ProfileWithEntry gives the contents unchanged
// when the entry cannot be stored (a line break in it, a character CP932 lacks,
// an empty key, '=' in the key, ']' in the section name).
std::string ProfileLookup(std::string_view contents, std::string_view section, std::string_view key,
                          bool* found);
std::string ProfileWithEntry(std::string_view contents, std::string_view section, std::string_view key,
                             std::string_view value);

}  // namespace sorana::platform
