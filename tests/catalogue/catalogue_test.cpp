#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <span>

namespace sorana::download {

using namespace catalogue;
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

TEST(Catalogue, ProgramRowsStandInThePositionsTheInstallationExpects) {
  // One letter a position: Main program, Program, program Above, Library,
  // Settings, Template, Corins archive, Help.
  struct Phase {
    bool oldPhase;
    std::string_view roles;
    std::string_view help;
  };
  const std::string_view codes = "MPALSTCH";
  for (const Phase& phase : {Phase{true, "MPPPPPLLSTTTTTTTTTTCCCH", "ヘルプ.lzh"},
                             Phase{false, "MPPPPPPPALLSTTTTTTTTTTTTTTTTTTTTTTCCCHPPLL", "MERGEHELP.IN_"}}) {
    std::span<const ProgramRow> rows = ProgramRows(phase.oldPhase);
    ASSERT_EQ(rows.size(), phase.roles.size());
    ASSERT_EQ(static_cast<int>(rows.size()), ProgramCount(phase.oldPhase));
    std::set<std::string_view> names;
    for (size_t i = 0; i < rows.size(); ++i) {
      const ProgramRow& row = rows[i];
      EXPECT_EQ(codes[static_cast<size_t>(row.role)], phase.roles[i]) << phase.oldPhase << " " << i;
      std::string_view ext = row.name.substr(row.name.rfind('.'));
      switch (row.role) {
        case Role::MainProgram:
          EXPECT_EQ(row.name, "FOTODESK.EX_");
          break;
        case Role::Program:
        case Role::ProgramAbove:
          EXPECT_EQ(ext, ".EX_") << row.name;
          break;
        case Role::Library:
          EXPECT_EQ(ext, ".DL_") << row.name;
          break;
        case Role::Settings:
          EXPECT_EQ(row.name, "FOTODESK.IN_");
          break;
        case Role::Template:
          EXPECT_TRUE(row.folder.starts_with("Template\\") && !row.extension.empty()) << row.name;
          // A set is its list, then its template, into one folder.
          if (row.name.starts_with("TEMPLATE.")) {
            EXPECT_EQ(rows[i - 1].folder, row.folder) << row.name;
          }
          break;
        case Role::CorinsArchive:
          EXPECT_EQ(row.folder, "corins" + std::string(1, row.name[6]) + ".0");
          break;
        case Role::Help:
          EXPECT_EQ(row.name, phase.help);
          EXPECT_EQ(row.folder, "ヘルプ");
          break;
      }
      names.insert(row.name);  // each lands in its own file
    }
    EXPECT_EQ(names.size(), rows.size());
  }
  EXPECT_EQ(NewProgramRows[8].name, "FDLAUNCH.EX_");
  EXPECT_EQ(NewProgramRows[32].name, "LIST.KO_");
  EXPECT_EQ(NewProgramRows[33].folder, "Template\\港湾\\KEN");
}

}  // namespace
}  // namespace sorana::download
