// Windows private-profile (INI) texts: CP932 bytes of a file's contents,
// UTF-8 names and values. Section and key names compare case-insensitively
// (ASCII letters); the first matching section and key win. A write changes
// only its own line (or adds the key, or the section) and keeps every other
// byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sorana::formats {

// The entry's value, unquoted; the empty text when it is missing. Sets *found
// (when given).
std::string ProfileLookup(std::string_view contents, std::string_view section, std::string_view key,
                          bool* found);
// The contents with the entry stored; nullopt when it cannot be stored (a line
// break in it, a character CP932 lacks, an empty key, '=' in the key, ']' in
// the section name), so that it never reads back as something else.
std::optional<std::string> ProfileWithStoredEntry(std::string_view contents, std::string_view section,
                                                  std::string_view key, std::string_view value);
// The same, giving the contents unchanged when the entry cannot be stored.
std::string ProfileWithEntry(std::string_view contents, std::string_view section, std::string_view key,
                             std::string_view value);
// GetPrivateProfileIntA's reading of a value: a whole number in decimal or
// after a leading 0x in hexadecimal (the bit pattern: 0xFFFFFFFF is -1).
std::optional<int> ProfileNumber(std::string_view text);

}  // namespace sorana::formats
