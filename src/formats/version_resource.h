// The file version of Windows program files, read from the bytes of their
// version resource (PE32 and PE32+), and versions compared.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace sorana::formats {

// "v" + the four parts of VS_FIXEDFILEINFO's file version ("v2.4.1.0"), or the
// empty text when the image has no version information or is malformed; never
// reads out of bounds.
std::string VersionTextFromImage(std::span<const uint8_t> image);
// Whether version text `a` ("v" and up to four numbers joined by ".") is an
// older version than `b`, part by part as numbers, a missing part counting as
// 0: v2.4.1.0 is older than v2.10.0.0, which their texts sort the other way.
// A text that is no version (the empty text of a file without version
// information) is older than every version.
bool VersionBelow(std::string_view a, std::string_view b);

}  // namespace sorana::formats
