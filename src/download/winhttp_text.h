// UTF-8 inside the program, UTF-16 at WinHTTP's calls.
#pragma once

#include <string>
#include <string_view>

#include "formats/utf16.h"

namespace sorana::download {

// A byte that is no valid UTF-8 becomes U+FFFD, as the system's converter makes it.
inline std::wstring Wide(std::string_view utf8) { return formats::Utf8ToWideShown(utf8); }
inline std::string Narrow(std::wstring_view wide) { return formats::WideToUtf8Shown(wide); }

}  // namespace sorana::download
