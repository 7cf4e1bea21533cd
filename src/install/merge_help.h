// The help bundle: one CP932 text file that carries help pages and their
// images as records, merged into the help folder (files added or replaced,
// never removed).
//
//   ■#HELP_FILE_START#■
//   sub\page.htm            path below the help folder
//   1234567890              last-write time, packed FAT date and time, local
//   ...content...           text lines, or one line of hexadecimal byte pairs
//   ■#HELP_FILE_END#■
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "form/update_window.h"

namespace sorana::install {

// Writes every record of `bundle` below `destination` (with or without a
// trailing backslash). Records whose folder cannot be created, whose path is
// not CP932 or leaves the help folder (absolute, a drive, a ".." component) are
// skipped. Throws std::runtime_error when the bundle cannot be read, a time
// line is not a 32-bit integer, a hexadecimal pair is invalid or a file cannot
// be written; files written before stay. Lets the window process its messages
// after each file. Always true.
bool MergeHelp(std::string_view bundle, std::string_view destination, form::UpdateWindow& window);

// Writes the bytes of a text of hexadecimal pairs ("4142" -> "AB") to `path`,
// replacing it. Blanks and control characters around the text are dropped and
// a last single digit is ignored. Throws std::runtime_error on a pair that is
// not two hexadecimal digits and when the file cannot be written.
void HexTextToFile(std::string_view text, std::string_view path);

// The lines of CP932 text: CR LF, a lone CR and a lone LF end a line; the text
// ends at its first NUL. A final line break adds no empty line.
std::vector<std::string_view> SplitLines(std::string_view text);

// A packed FAT date and time (date in the high half) as seconds since the Unix
// epoch, read as local time; nullopt when it is no valid date and time.
std::optional<int64_t> FatTimeToUnix(uint32_t packed);

}  // namespace sorana::install
