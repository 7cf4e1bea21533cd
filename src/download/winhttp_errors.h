// The texts of WinHTTP's error codes, in the component's English like
// libcurl's on Linux.
#pragma once

#include <string>

namespace sorana::download {

std::string WinHttpErrorText(unsigned long code);

}  // namespace sorana::download
