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

// The stored bytes of a member's path: a folder part (level 2 and 3 headers,
// 0xFF-separated) and the name field (backslash- or '/'-separated on level 0/1).
struct StoredPath {
  std::string folder;
  std::string name;
};

StoredPath ReadStoredPath(const LHAFileHeader& header);

struct MemberPath {
  bool ok = false;
  std::vector<std::string> components;  // UTF-8 names below the destination, never "." or ".."
  std::string display;                  // for messages: the path joined with '\'
  std::string problem;                  // why it was refused, when !ok
};

// Splits and converts a stored path: CP932 first, else UTF-8, else refused.
// Refuses absolute paths, drive letters (any ':'), ".." components, names of
// dots and blanks only, and control characters.
MemberPath DecodeStoredPath(const StoredPath& stored);

bool IsValidUtf8(std::string_view text);

}  // namespace unlha32
