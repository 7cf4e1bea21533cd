// The installed name of a downloaded component, chosen by its extension.
#pragma once

#include <string>
#include <string_view>

namespace sorana::install {

// `name` with its extension replaced: ".EX_" -> ".EXE", ".JH_" -> ".JH" and so
// on (compared after ASCII upper-casing); any other extension, or none, gets ".KOU".
std::string ExpandedName(std::string_view name);

}  // namespace sorana::install
