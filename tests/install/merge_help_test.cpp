// The help bundle merged into a help folder of a temporary prefix.
#include "install/merge_help.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/cp932.h"
#include "support/fake_window.h"
#include "support/temp_prefix.h"

namespace sorana::install {
namespace {

namespace fs = std::filesystem;

const std::string kStart = "\x81\xA1#HELP_FILE_START#\x81\xA1";
const std::string kEnd = "\x81\xA1#HELP_FILE_END#\x81\xA1";
constexpr const char* kHelp = "C:\\SORANA\\NEW_BIN\\ヘルプ";
constexpr const char* kBundle = "C:\\dl\\MERGEHELP.INI";

std::string Cp932(const std::string& utf8) { return formats::Utf8ToCp932(utf8).value(); }

// One record with CR LF line ends; `path` is UTF-8 and written as CP932.
std::string Record(const std::string& path, const std::string& time,
                   const std::vector<std::string>& content) {
  std::string out = kStart + "\r\n" + Cp932(path) + "\r\n" + time + "\r\n";
  for (const std::string& line : content) out += line + "\r\n";
  return out + kEnd + "\r\n";
}

// A file's last-write time as local calendar time.
std::tm LocalWriteTime(const fs::path& path) {
  const auto written = std::chrono::file_clock::to_sys(fs::last_write_time(path));
  const std::time_t seconds = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(written));
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  return local;
}

class MergeHelpTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(prefix_.HostC(kHelp)); }
  void Merge(const std::string& bundle) {
    test::TempPrefix::WriteFile(prefix_.HostC(kBundle), bundle);
    EXPECT_TRUE(MergeHelp(kBundle, kHelp, window_));
  }
  fs::path Help(const std::string& relative) const {
    return prefix_.HostC(std::string(kHelp) + "\\" + relative);
  }
  std::string Read(const std::string& relative) const { return test::TempPrefix::ReadFile(Help(relative)); }

  test::TempPrefix prefix_;
  test::FakeWindow window_;
};

TEST_F(MergeHelpTest, WritesTextAndBinaryFilesIntoTheirFolders) {
  test::TempPrefix::WriteFile(Help("keep.htm"), "untouched");
  test::TempPrefix::WriteFile(Help("index.htm"), "old index");
  Merge(
      "header lines before the first record are ignored\r\n" +
      Record("index.htm", "0", {"<html>", "", "\x83\x5C\x83\x74\x83\x67"}) +  // CP932 bytes kept as they are
      "between records\r\n" + Record("sub\\deeper\\page.HTML", "0", {"<p>"}) +
      Record("ソフト\\表.css", "0", {"a{}"}) +  // 表 ends in 0x5C, not a separator
      Record("img\\logo.gif", "0", {"4142"}) + Record("odd.bin", "0", {"414"}) +
      Record("blanks.dat", "0", {"  4a4B  "}) + Record("empty.htm", "0", {}));
  EXPECT_EQ(Read("index.htm"), "<html>\r\n\r\n\x83\x5C\x83\x74\x83\x67\r\n");
  EXPECT_EQ(Read("sub/deeper/page.HTML"), "<p>\r\n");
  EXPECT_EQ(Read("ソフト/表.css"), "a{}\r\n");
  EXPECT_EQ(Read("img/logo.gif"), "AB");
  EXPECT_EQ(Read("odd.bin"), "A");
  EXPECT_EQ(Read("blanks.dat"), "JK");
  EXPECT_TRUE(fs::exists(Help("empty.htm")));
  EXPECT_EQ(Read("empty.htm"), "");
  EXPECT_EQ(Read("keep.htm"), "untouched");
  // The window got its messages handled once per file written.
  EXPECT_EQ(window_.processMessagesCalls, 7);
}

TEST_F(MergeHelpTest, ReadsEveryKindOfLineEnd) {
  Merge(kStart + "\n" + "lf.htm\n0\nfirst\rsecond\r\nthird\n" + kEnd + "\r" + kStart + "\rcr.js\r0\rline" +
        "\r" + kEnd +  // last line without a break
        std::string("\0", 1) + Record("after_nul.htm", "0", {"x"}));
  EXPECT_EQ(Read("lf.htm"), "first\r\nsecond\r\nthird\r\n");
  EXPECT_EQ(Read("cr.js"), "line\r\n");
  EXPECT_FALSE(fs::exists(Help("after_nul.htm")));
}

TEST_F(MergeHelpTest, IncompleteAndInterruptedRecords) {
  Merge(kStart + "\r\n" + kEnd + "\r\n" +                             // closed at once: nothing
        kStart + "\r\ndropped.htm\r\n0\r\nlost\r\n" +                 // never closed...
        kStart + "\r\nsecond.htm\r\n0\r\nkept\r\n" + kEnd + "\r\n" +  // ...because this one starts
        kStart + "\r\nno_time.htm\r\n" + kEnd + "\r\n" +              // end marker in place of the time
        "  " + kStart + "\r\nnot_a_marker.htm\r\n0\r\n" + kEnd + "\r\n" + kStart +
        "\r\nunclosed.htm\r\n0\r\ntext\r\n");
  EXPECT_FALSE(fs::exists(Help("dropped.htm")));
  EXPECT_EQ(Read("second.htm"), "kept\r\n");
  EXPECT_EQ(Read("no_time.htm"), "");
  EXPECT_FALSE(fs::exists(Help("not_a_marker.htm")));
  EXPECT_FALSE(fs::exists(Help("unclosed.htm")));
}

TEST_F(MergeHelpTest, SetsTheRecordedLocalTime) {
  // 2021-03-04 05:06:08 local: date (41 << 9 | 3 << 5 | 4), time (5 << 11 | 6 << 5 | 4).
  const uint32_t packed = ((41u << 9 | 3u << 5 | 4u) << 16) | (5u << 11 | 6u << 5 | 4u);
  Merge(Record("dated.htm", std::to_string(packed), {"x"}) + Record("undated.htm", "0", {"x"}));
  const std::tm local = LocalWriteTime(Help("dated.htm"));
  EXPECT_EQ(local.tm_year, 121);
  EXPECT_EQ(local.tm_mon, 2);
  EXPECT_EQ(local.tm_mday, 4);
  EXPECT_EQ(local.tm_hour, 5);
  EXPECT_EQ(local.tm_min, 6);
  EXPECT_EQ(local.tm_sec, 8);
  // 0 is no date: the file keeps the time it was written.
  std::tm undated = LocalWriteTime(Help("undated.htm"));
  EXPECT_GT(std::mktime(&undated), std::time(nullptr) - 600);
}

TEST_F(MergeHelpTest, SkipsRecordsThatWouldLeaveTheHelpFolder) {
  test::TempPrefix::WriteFile(Help("blocked"), "a file where a folder is wanted");
  Merge(Record("..\\evil.htm", "0", {"x"}) + Record("sub\\..\\..\\evil2.htm", "0", {"x"}) +
        Record("C:\\evil3.htm", "0", {"x"}) + Record("\\evil4.htm", "0", {"x"}) +
        Record("../evil5.htm", "0", {"x"}) + Record("sub\\.. \\evil6.htm", "0", {"x"}) +
        Record("page.htm:stream", "0", {"x"}) + Record("folder\\", "0", {"x"}) +
        Record("blocked\\inner.htm", "0", {"x"}) +  // folder cannot be made: skipped too
        Record("fine.htm", "0", {"ok"}));
  const fs::path bin = prefix_.HostC("C:\\SORANA\\NEW_BIN");
  for (const char* name : {"evil.htm", "evil2.htm", "evil5.htm"})
    EXPECT_FALSE(fs::exists(bin / name)) << name;
  EXPECT_FALSE(fs::exists(prefix_.HostC("C:\\evil3.htm")));
  EXPECT_FALSE(fs::exists(prefix_.HostC("C:\\evil4.htm")));
  EXPECT_EQ(Read("fine.htm"), "ok\r\n");
  // Nothing but the blocker, the good page and nothing else below the help folder.
  size_t entries = 0;
  for (auto it = fs::recursive_directory_iterator(prefix_.HostC(kHelp));
       it != fs::recursive_directory_iterator(); ++it)
    ++entries;
  EXPECT_EQ(entries, 2u);
}

TEST_F(MergeHelpTest, BadBundlesStopTheMergeAndKeepWhatWasWritten) {
  const std::pair<std::string, std::string> cases[] = {
      {Record("t.htm", "12a", {}), "not an integer"},
      {Record("t.htm", "2147483648", {}), "above 32 bits"},
      {Record("t.htm", "-2147483649", {}), "below 32 bits"},
      {Record("t.htm", "99999999999999999999", {}), "far too long"},
      {Record("t.htm", "", {}), "empty"},
      {Record("t.bin", "0", {"4G"}), "not hexadecimal"},
      {Record("t.bin", "0", {"41", "42"}), "binary over two lines"},
  };
  for (const auto& [bad, why] : cases) {
    test::TempPrefix::WriteFile(prefix_.HostC(kBundle), Record("first.htm", "0", {why}) + bad);
    EXPECT_THROW(MergeHelp(kBundle, kHelp, window_), std::runtime_error) << why;
    EXPECT_EQ(Read("first.htm"), why + "\r\n");
  }
  EXPECT_THROW(MergeHelp("C:\\dl\\MISSING.INI", kHelp, window_), std::runtime_error);
}

TEST_F(MergeHelpTest, AcceptsEveryThirtyTwoBitTimeLine) {
  // Negative and hexadecimal texts are integers too (and simply no valid dates).
  EXPECT_NO_THROW(Merge(Record("a.htm", "-2147483648", {}) + Record("b.htm", " $7FFF", {}) +
                        Record("c.htm", "2147483647", {})));
  EXPECT_TRUE(fs::exists(Help("c.htm")));
}

TEST(HexTextToFileTest, DecodesPairsAndRejectsWhatIsNotHex) {
  test::TempPrefix prefix;
  HexTextToFile(" \r\n00ff7F6a\r\n ", "C:\\x.bin");
  EXPECT_EQ(test::TempPrefix::ReadFile(prefix.HostC("C:\\x.bin")), std::string("\x00\xff\x7f\x6a", 4));
  HexTextToFile("", "C:\\x.bin");
  EXPECT_EQ(test::TempPrefix::ReadFile(prefix.HostC("C:\\x.bin")), "");
  EXPECT_THROW(HexTextToFile("4 42", "C:\\y.bin"), std::runtime_error);
  EXPECT_FALSE(fs::exists(prefix.HostC("C:\\y.bin")));
  EXPECT_THROW(HexTextToFile("41", "C:\\no\\such\\folder\\z.bin"), std::runtime_error);
}

}  // namespace
}  // namespace sorana::install
