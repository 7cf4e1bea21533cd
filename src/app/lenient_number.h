// Lenient reading of a number typed by hand into the settings file.
#pragma once

#include <string_view>

namespace sorana::app {

// Keeps only "-", "." and the digits of `text`, moves a trailing minus to the
// front (80- reads as -80) and parses the rest as a decimal number with an
// optional fraction. Nothing left, or no valid number (1.2.3, 8-0), gives 0.
double LenientNumber(std::string_view text);

}  // namespace sorana::app
