// Stored member paths of LHA archives, turned into safe UTF-8 folder and file names.
//
// liblhasa rewrites names before it hands them out (every 0x5C byte becomes
// '/', which splits CP932 characters such as "ソ"; all-caps DOS names are
// lower-cased; ".." is collapsed silently), so the stored bytes are read again
// from the header's raw data and judged here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <lhasa.h>

namespace unlha32 {

// The stored bytes of a member's path: a folder part (level 1 to 3 headers,
// 0xFF-separated) and the name field (backslash- or '/'-separated on level 0/1).
// Each field ends at its first NUL: Amiga archivers keep a file note after it.
struct StoredPath {
  std::string folder;
  std::string name;
};

StoredPath ReadStoredPath(const LHAFileHeader& header);

// A symbolic link entry stores "<path>|<target>"; this is the path part.
StoredPath LinkPath(StoredPath stored);

struct MemberPath {
  bool ok = false;
  std::vector<std::string> components;  // UTF-8 names below the destination, never "." or ".."
  std::string display;                  // for messages: the path joined with '\'
  std::string problem;                  // why it was refused, when !ok
  bool isRoot = false;                  // nothing is left once the root is taken off
};

// Splits and converts a stored path: CP932 first, else UTF-8, else refused.
// A leading root ("\", "/", "C:\", "C:") is taken off, so the member lands
// below the destination, as Windows archivers extract such paths. Refuses
// other colons, ".." components, names of dots and blanks only, control
// characters, the characters < > " | ? * and Windows' device names (CON, NUL,
// COM1, ...).
MemberPath DecodeStoredPath(const StoredPath& stored);

// The target of a symbolic link ('/'-separated, as liblhasa gives it) in UTF-8,
// relative to the link's folder, `folderDepth` folders below the destination.
// Refuses targets that are absolute or whose ".." climb above the destination.
// Links already in the destination are judged when the link is placed.
MemberPath DecodeLinkTarget(std::string_view target, size_t folderDepth);

bool IsValidUtf8(std::string_view text);

}  // namespace unlha32
