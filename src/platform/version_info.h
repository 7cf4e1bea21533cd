// File version of the Windows program files of an installation.
#pragma once

#include <string>
#include <string_view>

namespace sorana::platform {

// "v" + the four parts of the file's version resource ("v2.4.1.0"), or the
// empty text when the file is missing, has no version information or is
// malformed (see formats/version_resource.h).
std::string GetFileVersionText(std::string_view windowsPath);

}  // namespace sorana::platform
