// Writes the help bundle (MERGEHELP.INI): CP932 text records, each a start
// marker, the path below the help folder, the packed FAT last-write time, the
// content and an end marker. Pages, style sheets and scripts travel as their
// lines; every other file as one line of hexadecimal byte pairs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sorana::tools {

struct HelpFile {
  std::string path;   // UTF-8, folders separated by backslashes ("images\top.gif")
  uint32_t fatTime;   // packed FAT date (high half) and time, local
  std::string bytes;  // the file's content as installed (CP932 for pages)
};

// Whether the bundle carries this path as text lines (.HTM, .HTML, .CSS, .JS).
bool IsHelpTextFile(std::string_view path);

// A packed FAT date and time of a local calendar time.
uint32_t PackFatTime(int year, int month, int day, int hour, int minute, int second);

// The bundle's bytes. A text file must be CR LF lines (each line ended, none
// equal to a marker, no NUL, no lone CR or LF), since the merge writes each
// line back with CR LF; throws SiteError otherwise.
std::string WriteHelpBundle(const std::vector<HelpFile>& files);

}  // namespace sorana::tools
