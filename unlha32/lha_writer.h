// Writes LHA archives whose members are stored uncompressed (-lh0-).
//
// Used by the update-site tool to package components and by the tests to
// build archives with exactly the headers they need. Names are written as
// given: the writer does not judge whether a name is safe to extract.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/cp932.h"

namespace unlha32 {

enum class HeaderLevel { kLevel0 = 0, kLevel1 = 1, kLevel2 = 2 };

// Every field of one member as it is stored, for archives in the forms other
// archivers write (other OS types, roots, notes, MacBinary data).
struct MemberFields {
  HeaderLevel level = HeaderLevel::kLevel2;
  std::string method = "-lh0-";  // "-lh0-" or "-lhd-": the data is stored as given
  std::string name;    // level 0 and 1: the name field, folders included; level 2: the file name extension
  std::string folder;  // level 1 and 2: the folder extension (0xFF-separated); empty for none
  std::string data;
  uint8_t attribute = 0x20;
  uint8_t osType = 'w';  // level 1 and 2
  int64_t unixTime = 0;
  int unixPermissions = -1;  // level 1 and 2: written when not negative
};

class LhaWriter {
 public:
  // Adds a member exactly as given.
  void AddMember(const MemberFields& fields);
  // Adds a file. `storedPath` holds the archive's bytes for the member's path
  // (CP932 on Windows), folders separated by backslashes, as in "doc\a.txt".
  // Level 0 keeps the path in one field of at most 233 bytes; level 2 stores the
  // folders in their own extended header, separated by 0xFF.
  // Throws std::length_error for a path or data the header cannot hold.
  void AddFile(std::string_view storedPath, std::string_view data, int64_t unixTime = 0,
               HeaderLevel level = HeaderLevel::kLevel2);
  // Adds a folder entry (-lhd-, level 2).
  void AddFolder(std::string_view storedPath, int64_t unixTime = 0);
  // Adds a Unix symbolic link entry (-lhd- with link permissions, level 2);
  // `target` uses '/' as separator.
  void AddSymlink(std::string_view storedPath, std::string_view target);

  // The archive: every member added so far and the end mark.
  std::string Finish() const;

 private:
  void AddLevel0Or1(const MemberFields& fields);
  void AddLevel2(const MemberFields& fields);

  std::string bytes_;
};

using sorana::formats::IsCp932LeadByte;

}  // namespace unlha32
