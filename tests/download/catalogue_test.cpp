#include "download/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "download/update_server.h"

namespace sorana::download {
namespace {

StandardChoice All() {
  StandardChoice all;
  all.fill(true);
  return all;
}

template <size_t Slots>
std::vector<size_t> RowCounts(const StandardRows<Slots>& rows) {
  std::vector<size_t> counts;
  for (const auto& row : rows) {
    size_t used =
        static_cast<size_t>(std::count_if(row.begin(), row.end(), [](auto n) { return !n.empty(); }));
    // Names fill the leading slots only.
    EXPECT_TRUE(
        std::all_of(row.begin() + static_cast<long>(used), row.end(), [](auto n) { return n.empty(); }));
    counts.push_back(used);
  }
  return counts;
}

TEST(Catalogue, RowCountsPerStandard) {
  EXPECT_EQ(RowCounts(OldStandardFiles),
            (std::vector<size_t>{9, 8, 11, 12, 8, 4, 3, 4, 5, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(RowCounts(NewStandardFiles),
            (std::vector<size_t>{16, 8, 12, 26, 18, 8, 8, 6, 4, 8, 9, 8, 8, 10, 29, 8, 7, 13, 3, 6, 12, 3}));
}

TEST(Catalogue, ListsWithEveryStandard) {
  std::vector<std::string> newList = BuildFileList(false, All());
  ASSERT_EQ(newList.size(), 272u);
  EXPECT_EQ(newList[0], "FOTODESK.EX_");
  EXPECT_EQ(newList[42], "KOKDO202003.SP_");
  EXPECT_EQ(newList.back(), "PHOTOKYOTOG201112.sp_");
  std::vector<std::string> oldList = BuildFileList(true, All());
  ASSERT_EQ(oldList.size(), 23u + 71u);
  EXPECT_EQ(oldList[23], "KOKDO200108.SP_");
  EXPECT_EQ(oldList.back(), "PHOTOYAMA200604.sp_");
  // A name listed twice in a row stays twice: it is fetched twice.
  EXPECT_EQ(std::count(oldList.begin(), oldList.end(), "KYOTO200608.SP_"), 2);
}

TEST(Catalogue, ListFollowsCheckedStandardsInListOrder) {
  StandardChoice choice{};
  choice[14] = true;  // 国土交通省（機械設備）
  choice[7] = true;   // 日本道路公団
  std::vector<std::string> list = BuildFileList(false, choice);
  ASSERT_EQ(list.size(), 42u + 6u + 29u);
  EXPECT_EQ(list[42], "JHK201207.SP_");
  EXPECT_EQ(list[48], "KKIKA200603.sp_");
  // Standards 11 to 21 bring nothing to the old-version phase.
  StandardChoice late{};
  std::fill(late.begin() + 11, late.end(), true);
  EXPECT_EQ(BuildFileList(true, late).size(), 23u);
  EXPECT_EQ(BuildFileList(false, StandardChoice{}).size(), 42u);
}

TEST(Catalogue, ProgramRowsHoldWhatTheInstallationExpects) {
  auto ext = [](std::string_view name) { return std::string(name.substr(name.rfind('.'))); };
  for (int i = 0; i < 9; ++i) EXPECT_EQ(ext(NewProgramFiles[i]), ".EX_") << i;
  for (int i : {9, 10, 40, 41}) EXPECT_EQ(ext(NewProgramFiles[i]), ".DL_") << i;
  EXPECT_EQ(NewProgramFiles[11], "FOTODESK.IN_");
  EXPECT_EQ(NewProgramFiles[32], "LIST.KO_");
  EXPECT_EQ(NewProgramFiles[37], "MERGEHELP.IN_");
  EXPECT_EQ(ext(OldProgramFiles[7]), ".DL_");
  EXPECT_EQ(OldProgramFiles[18], "TEMPLATE.JH_");
  EXPECT_EQ(OldProgramFiles[22], "ヘルプ.lzh");
  // Program names are unique within a phase: each lands in its own file.
  EXPECT_EQ(std::set<std::string_view>(NewProgramFiles.begin(), NewProgramFiles.end()).size(), 42u);
}

TEST(UpdateServer, EnvironmentOverridesAndNamesArePercentEncoded) {
  setenv("SORANA_UPDATE_SERVER", "http://127.0.0.1:8787/", 1);
  EXPECT_EQ(UpdateServer(), "http://127.0.0.1:8787");
  setenv("SORANA_UPDATE_SERVER", "", 1);
  EXPECT_EQ(UpdateServer(), SORANA_TEST_DEFAULT_SERVER);
  unsetenv("SORANA_UPDATE_SERVER");
  EXPECT_EQ(ComponentUrl("http://h", false, "FOTODESK.EX_"), "http://h/sorana/20240410/FOTODESK.EX_");
  EXPECT_EQ(ComponentUrl("http://h", true, "ヘルプ.lzh"),
            "http://h/sorana/v128/%E3%83%98%E3%83%AB%E3%83%97.lzh");
}

}  // namespace
}  // namespace sorana::download
