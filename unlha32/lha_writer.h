// Writes LHA archives whose members are stored uncompressed (-lh0-).
//
// Used by the update-site tool to package components and by the tests to
// build archives with exactly the headers they need. Names are written as
// given: the writer does not judge whether a name is safe to extract.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace unlha32 {

enum class HeaderLevel { kLevel0 = 0, kLevel2 = 2 };

class LhaWriter {
 public:
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
  struct Level2Fields;
  void AddLevel0(std::string_view storedPath, std::string_view data, int64_t unixTime);
  void AddLevel2(const Level2Fields& fields, std::string_view data);

  std::string bytes_;
};

// True for the first byte of a two-byte CP932 character (its second byte may be
// 0x5C, the backslash).
inline bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace unlha32
