// The text rules on Windows paths and names that every host shares.
#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/win_path.h"

namespace sorana::platform {
namespace {

TEST(WinPathText, TrailingBackslashes) {
  EXPECT_TRUE(EndsWithBackslash("C:\\a\\"));
  EXPECT_FALSE(EndsWithBackslash("C:\\a"));
  EXPECT_FALSE(EndsWithBackslash(""));
  EXPECT_EQ(IncludeTrailingBackslash("C:\\a"), "C:\\a\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\a\\"), "C:\\a\\");
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\a\\"), "C:\\a");
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\a"), "C:\\a");
  // ソ is 0x83 0x5C in CP932; in UTF-8 it has no backslash byte.
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\ソ"), "C:\\ソ");
}

TEST(WinPathText, NamePartsAndExtensions) {
  EXPECT_EQ(ExtractFilePath("C:\\a\\b.exe"), "C:\\a\\");
  EXPECT_EQ(ExtractFilePath("b.exe"), "");
  EXPECT_EQ(ExtractFileName("C:\\a\\b.exe"), "b.exe");
  EXPECT_EQ(ExtractFileName("C:\\a\\"), "");
  EXPECT_EQ(ExtractFileExt("C:\\a\\b.tar.LZH"), ".LZH");
  EXPECT_EQ(ExtractFileExt("C:\\a.dir\\name"), "");
  EXPECT_EQ(ExtractFileExt("name."), ".");
  EXPECT_EQ(ChangeFileExt("C:\\a\\SORANA.EX_", ".EXE"), "C:\\a\\SORANA.EXE");
  EXPECT_EQ(ChangeFileExt("C:\\a.dir\\name", ".txt"), "C:\\a.dir\\name.txt");
  EXPECT_EQ(ChangeFileExt("x.lzh", ""), "x");
  EXPECT_EQ(AsciiUpper("Sorana.exe ヘルプ"), "SORANA.EXE ヘルプ");
}

TEST(FileSystemFind, MatchesWildcardsLikeWindows) {
  EXPECT_TRUE(MatchesWildcard("README", "*.*"));
  EXPECT_TRUE(MatchesWildcard("Fotodesk.EXE", "*.exe"));
  EXPECT_TRUE(MatchesWildcard("fotodesk", "fotodesk.*"));
  EXPECT_FALSE(MatchesWildcard("a.docx", "*.doc"));
  EXPECT_TRUE(MatchesWildcard("ヘルプ.chm", "???.chm"));  // "?" is one character, not one byte
  EXPECT_FALSE(MatchesWildcard("ヘルプ.chm", "?.chm"));
  EXPECT_TRUE(MatchesWildcard("[1].txt", "[1]*"));  // brackets are plain characters
  EXPECT_FALSE(MatchesWildcard("aXbX", "a*b*c"));
}

}  // namespace
}  // namespace sorana::platform
