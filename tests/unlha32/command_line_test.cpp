#include <gtest/gtest.h>

#include "unlha32/command_line.h"

namespace unlha32 {
namespace {

TEST(UnlhaCommandLine, ExtractLhaFormWithBackslashBeforeClosingQuote) {
  UnlhaCommand command =
      ParseUnlhaCommand("e -jyc -jyo \"C:\\tmp\\SorNewUp\\corins.lzh\" -d1 -c1 \"C:\\root\\\"");
  ASSERT_TRUE(command.ok) << command.problem;
  EXPECT_EQ(command.archive, "C:\\tmp\\SorNewUp\\corins.lzh");
  EXPECT_EQ(command.folder, "C:\\root\\");
  EXPECT_TRUE(command.keepFolders);

  UnlhaCommand blanks =
      ParseUnlhaCommand("e -jyc -jyo \"C:\\Program Files\\a b.lzh\" -d1 -c1 \"C:\\My Folder\\ソラナギ\\\"");
  ASSERT_TRUE(blanks.ok) << blanks.problem;
  EXPECT_EQ(blanks.archive, "C:\\Program Files\\a b.lzh");
  EXPECT_EQ(blanks.folder, "C:\\My Folder\\ソラナギ\\");

  UnlhaCommand host = ParseUnlhaCommand("e \"/tmp/a.lzh\" /tmp/out/");
  ASSERT_TRUE(host.ok) << host.problem;
  EXPECT_FALSE(host.keepFolders);
}

TEST(UnlhaCommandLine, AnythingElseIsRefusedWithAReason) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "empty"},
      {"x -jyc \"C:\\a.lzh\" \"C:\\b\\\"", "unknown command"},
      {"\"e\" \"C:\\a.lzh\" \"C:\\b\\\"", "unknown command"},
      {"e -r \"C:\\a.lzh\" \"C:\\b\\\"", "unknown switch \"-r\""},
      {"e -d2 \"C:\\a.lzh\" \"C:\\b\\\"", "unknown switch"},
      {"e -jyc", "no archive"},
      {"e \"C:\\a.lzh\"", "no destination"},
      {"e \"C:\\a.lzh\" \"C:\\b\"", "backslash"},
      {"e \"C:\\a.lzh\" \"C:\\b\\\" *.txt", "selecting members"},
      {"e \"a.lzh\" \"C:\\b\\\"", "not an absolute path"},
      {"e \"C:\\a.lzh\" \"b\\\"", "not an absolute path"},
      {"e \"C:\\a.lzh \"C:\\b\\\"", "after a closing"},
      {"e \"C:\\a.lzh\" \"C:\\b\\", "unterminated"},
      {"e C:\\a\"b.lzh \"C:\\b\\\"", "inside a word"},
  };
  for (const auto& [line, reason] : cases) {
    UnlhaCommand command = ParseUnlhaCommand(line);
    EXPECT_FALSE(command.ok) << line;
    EXPECT_NE(command.problem.find(reason), std::string::npos) << line << " -> " << command.problem;
  }
}

}  // namespace
}  // namespace unlha32
