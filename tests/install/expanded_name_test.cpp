#include "install/expanded_name.h"

#include <gtest/gtest.h>

namespace sorana::install {
namespace {

TEST(ExpandedNameTest, MapsEveryExtensionOfTheTable) {
  const std::pair<const char*, const char*> cases[] = {
      {"SORANA.EX_", "SORANA.EXE"},
      {"VIEW.DL_", "VIEW.DLL"},
      {"KOKDO202003.SP_", "KOKDO202003.SPI"},
      {"FORM.LA_", "FORM.LAY"},
      {"SORANA.IN_", "SORANA.INI"},
      {"README.TX_", "README.TXT"},
      {"LIST.4K_", "LIST.4KE"},
      {"LIST.4N_", "LIST.4NO"},
      {"LIST.6K_", "LIST.6KE"},
      {"LIST.6N_", "LIST.6NO"},
      {"LIST.JH_", "LIST.JH"},
      {"LIST.NK_", "LIST.NK"},
      {"eh0703quality.xl_", "eh0703quality.XLS"},
      {"京都府21年8月納品書.DO_", "京都府21年8月納品書.DOC"},
      {"LIST.EZ_", "LIST.EZ"},
      {"LIST.0K_", "LIST.0KE"},
      {"LIST.1N_", "LIST.1NO"},
      {"LIST.KU_", "LIST.KUK"},
  };
  for (const auto& [downloaded, expanded] : cases) EXPECT_EQ(ExpandedName(downloaded), expanded);
}

TEST(ExpandedNameTest, KeepsTheStemAndUpperCasesOnlyTheComparison) {
  EXPECT_EQ(ExpandedName("sorana.ex_"), "sorana.EXE");
  EXPECT_EQ(ExpandedName("Viewer.Ex_"), "Viewer.EXE");
  EXPECT_EQ(ExpandedName("PHOTO200604.sp_"), "PHOTO200604.SPI");
  // Only the last extension counts.
  EXPECT_EQ(ExpandedName("a.ex_.sp_"), "a.ex_.SPI");
}

TEST(ExpandedNameTest, EverythingElseBecomesKou) {
  EXPECT_EQ(ExpandedName("TEMPLATE.KO_"), "TEMPLATE.KOU");
  EXPECT_EQ(ExpandedName("CORINS0.lzh"), "CORINS0.KOU");
  EXPECT_EQ(ExpandedName("ヘルプ.lzh"), "ヘルプ.KOU");
  EXPECT_EQ(ExpandedName("NOEXTENSION"), "NOEXTENSION.KOU");
  EXPECT_EQ(ExpandedName("LIST.EX"), "LIST.KOU");     // the underscore is part of the key
  EXPECT_EQ(ExpandedName("LIST.ＥＸ_"), "LIST.KOU");  // full-width letters are not ASCII
}

}  // namespace
}  // namespace sorana::install
