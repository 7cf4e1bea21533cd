// The text rules on Windows paths and names that every host shares.
#include <gtest/gtest.h>

#include "formats/ascii_case.h"
#include "formats/wildcard_match.h"
#include "formats/win_path_text.h"

namespace sorana::formats {
namespace {

TEST(WinPathText, TrailingBackslashes) {
  EXPECT_TRUE(formats::EndsWithBackslash("C:\\a\\"));
  EXPECT_FALSE(formats::EndsWithBackslash("C:\\a"));
  EXPECT_FALSE(formats::EndsWithBackslash(""));
  EXPECT_EQ(formats::IncludeTrailingBackslash("C:\\a"), "C:\\a\\");
  EXPECT_EQ(formats::IncludeTrailingBackslash("C:\\a\\"), "C:\\a\\");
  EXPECT_EQ(formats::ExcludeTrailingBackslash("C:\\a\\"), "C:\\a");
  EXPECT_EQ(formats::ExcludeTrailingBackslash("C:\\a"), "C:\\a");
  // ソ is 0x83 0x5C in CP932; in UTF-8 it has no backslash byte.
  EXPECT_EQ(formats::ExcludeTrailingBackslash("C:\\ソ"), "C:\\ソ");
}

TEST(WinPathText, NamePartsAndExtensions) {
  EXPECT_EQ(formats::ExtractFilePath("C:\\a\\b.exe"), "C:\\a\\");
  EXPECT_EQ(formats::ExtractFilePath("b.exe"), "");
  EXPECT_EQ(formats::ExtractFileName("C:\\a\\b.exe"), "b.exe");
  EXPECT_EQ(formats::ExtractFileName("C:\\a\\"), "");
  EXPECT_EQ(formats::ExtractFileExt("C:\\a\\b.tar.LZH"), ".LZH");
  EXPECT_EQ(formats::ExtractFileExt("C:\\a.dir\\name"), "");
  EXPECT_EQ(formats::ExtractFileExt("name."), ".");
  EXPECT_EQ(formats::ChangeFileExt("C:\\a\\SORANA.EX_", ".EXE"), "C:\\a\\SORANA.EXE");
  EXPECT_EQ(formats::ChangeFileExt("C:\\a.dir\\name", ".txt"), "C:\\a.dir\\name.txt");
  EXPECT_EQ(formats::ChangeFileExt("x.lzh", ""), "x");
  EXPECT_EQ(formats::AsciiUpper("Sorana.exe ヘルプ"), "SORANA.EXE ヘルプ");
}

TEST(FileSystemFind, MatchesWildcardsLikeWindows) {
  EXPECT_TRUE(formats::MatchesWildcard("README", "*.*"));
  EXPECT_TRUE(formats::MatchesWildcard("Fotodesk.EXE", "*.exe"));
  EXPECT_TRUE(formats::MatchesWildcard("fotodesk", "fotodesk.*"));
  EXPECT_FALSE(formats::MatchesWildcard("a.docx", "*.doc"));
  EXPECT_TRUE(formats::MatchesWildcard("ヘルプ.chm", "???.chm"));  // "?" is one character, not one byte
  EXPECT_FALSE(formats::MatchesWildcard("ヘルプ.chm", "?.chm"));
  EXPECT_TRUE(formats::MatchesWildcard("[1].txt", "[1]*"));  // brackets are plain characters
  EXPECT_FALSE(formats::MatchesWildcard("aXbX", "a*b*c"));
}

}  // namespace
}  // namespace sorana::formats
