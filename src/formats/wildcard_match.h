// Windows wildcard matching of names, by the rule the whole system shares, so
// that a folder's listing matches the same entries on every host.
#pragma once

#include <string_view>

namespace sorana::formats {

// Whether a name matches a Windows wildcard pattern ("*", "?"; "x.*" also
// matches "x"), ASCII letters compared without case, "?" one UTF-8 character.
bool MatchesWildcard(std::string_view name, std::string_view pattern);

}  // namespace sorana::formats
