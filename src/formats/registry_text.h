// Wine's registry files as text: the escapes of names and strings, the
// logical lines, key blocks and value lines, and the edit of one value. Pure
// functions on the file's text, with no file behind them, so that every rule
// can be tried on any bytes.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorana::formats::registry_text {

// Wine's escaped form of UTF-8 text, with a backslash before the characters of
// `quoted`; nullopt when the text is not UTF-8.
std::optional<std::string> Escape(std::string_view utf8, std::string_view quoted);

// True when the file's header says "#arch=win64".
bool IsWin64(std::string_view systemReg);

// `subKey` as the 32-bit view of the product sees it (below Wow6432Node for
// HKLM\Software of a win64 file), spelled as the file spells the part of it
// that exists. nullopt for an empty path. `exists` tells whether the whole
// key is there.
struct KeyPath {
  std::string stored;
  bool exists = false;
};
std::optional<KeyPath> LocateKey(std::string_view text, std::string_view subKey, bool localMachine);

// REG_SZ / REG_EXPAND_SZ value `name` ("" for the default value) of the key;
// nullopt when missing or of another type.
std::optional<std::string> ReadString(std::string_view text, std::string_view storedPath,
                                      std::string_view name);

// The value line of a string or binary value, as Wine writes it; nullopt when
// the name or text is not UTF-8.
std::optional<std::string> StringValueLine(std::string_view name, std::string_view value);
std::optional<std::string> BinaryValueLine(std::string_view name, const std::vector<uint8_t>& data);

// The text with value `name` of the key set to `valueLine` (the key added,
// stamped with `now`, when missing). nullopt when a reader of the new text
// would not find exactly that line: a damaged file is never made worse.
std::optional<std::string> WithValue(std::string_view text, const std::string& storedPath,
                                     std::string_view name, const std::string& valueLine, std::time_t now);

}  // namespace sorana::formats::registry_text
