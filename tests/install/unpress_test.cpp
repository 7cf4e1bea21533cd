// Whole phases through Unpress: real SZDD downloads, real LHA archives, the
// help bundle, and the failures that must stop the run.
#include <gtest/gtest.h>
#include <filesystem>

#include "phase_fixture.h"

namespace sorana::install {
namespace {

namespace fs = std::filesystem;

using UnpressTest = PhaseFixture;

TEST_F(UnpressTest, NewPhaseInstallsEveryKindOfFile) {
  if (NoLhaLibrary()) GTEST_SKIP() << kNoLhaLibrary;
  Prepare(false, {0, 2, 4});  // .SP_/.sp_, .xl_, .XL_ and .DO_ plug-ins
  test::TempPrefix::WriteFile(Work("plugin/OLD.SPI"), "previous plug-in");
  test::TempPrefix::WriteFile(Work("plugin/STALE.BAK"), "backup from the update before");
  test::TempPrefix::WriteFile(Work("ヘルプ/untouched.htm"), "kept");
  ASSERT_TRUE(Run()) << (window_.boxes.empty() ? "" : window_.boxes.back().text);

  for (const char* program : {"FOTODESK.EXE", "FDHELP.EXE", "LAYOUTED.EXE", "FDCHECK.EXE", "FDPRINT.EXE",
                              "FDCONV.EXE", "FDMEDIA.EXE", "FDSETUP.EXE", "FDXMLOUT.EXE", "FDPICVW.EXE"}) {
    EXPECT_EQ(ReadWork(program), ContentOf(fs::path(program).replace_extension(".EX_").string())) << program;
  }
  for (const char* library : {"FDCORE.DLL", "FDIMAGE.DLL", "FDXMLLIB.DLL", "FDPICLIB.DLL"}) {
    EXPECT_EQ(ReadWork(library), ContentOf(fs::path(library).replace_extension(".DL_").string())) << library;
  }
  EXPECT_FALSE(fs::exists(Work("FDLAUNCH.EXE")));
  EXPECT_EQ(test::TempPrefix::ReadFile(prefix_.HostC(std::string(kRoot) + "FOTODESK.EXE")),
            ContentOf("FDLAUNCH.EX_"));
  EXPECT_EQ(ReadWork("FOTODESK.INI"), ContentOf("FOTODESK.IN_"));

  const std::pair<const char*, const char*> templates[] = {
      {"Template/14年度/KEN", "4K"}, {"Template/14年度/NOU", "4N"},       {"Template/16年度/KEN", "6K"},
      {"Template/16年度/NOU", "6N"}, {"Template/日本道路公団/KEN", "JH"}, {"Template/日本高速道路/KEN", "NK"},
      {"Template/建築/KEN", "EZ"},   {"Template/20年度/KEN", "0K"},       {"Template/21年度/NOU", "1N"},
      {"Template/空港/KEN", "KU"},   {"Template/港湾/KEN", "KO"},
  };
  for (const auto& [folder, code] : templates) {
    EXPECT_EQ(ReadWork(std::string(folder) + "/LIST.TXT"), ContentOf(std::string("LIST.") + code + "_"))
        << folder;
    EXPECT_EQ(ReadWork(std::string(folder) + "/TEMPLATE.TXT"),
              ContentOf(std::string("TEMPLATE.") + code + "_"));
  }
  for (const char* corins : {"corins0.0", "corins5.0", "corins6.0"}) {
    const std::string archive = std::string("CORINS") + corins[6] + ".lzh";
    EXPECT_EQ(ReadWork(std::string(corins) + "/CORINS.DAT"), ContentOf(archive)) << corins;
  }
  EXPECT_EQ(ReadWork("ヘルプ/index.htm"), "<p>merged help</p>\r\n");
  EXPECT_EQ(ReadWork("ヘルプ/img/logo.gif"), "GIF");
  EXPECT_EQ(ReadWork("ヘルプ/untouched.htm"), "kept");

  EXPECT_EQ(ReadWork("plugin/KOKDO202003.SPI"), ContentOf("KOKDO202003.SP_"));
  EXPECT_EQ(ReadWork("plugin/BORING202303.SPI"), ContentOf("BORING202303.sp_"));
  EXPECT_EQ(ReadWork("plugin/eh0803quality.XLS"), ContentOf("eh0803quality.xl_"));
  EXPECT_EQ(ReadWork("plugin/京都府18年8月納品書.XLS"), ContentOf("京都府18年8月納品書.XL_"));
  EXPECT_EQ(ReadWork("plugin/京都府21年8月納品書.DOC"), ContentOf("京都府21年8月納品書.DO_"));
  EXPECT_EQ(ReadWork("plugin/OLD.BAK"), "previous plug-in");
  EXPECT_FALSE(fs::exists(Work("plugin/OLD.SPI")));
  EXPECT_FALSE(fs::exists(Work("plugin/STALE.BAK")));
  EXPECT_FALSE(fs::exists(Work("plugin/NORIN201103.SPI")));  // standard 1 was not chosen

  // Only the main program's backup stays in the download folder.
  EXPECT_EQ(DownloadFolderNames(), std::vector<std::string>{"FOTODESK.OLD"});
  EXPECT_EQ(test::TempPrefix::ReadFile(Download("FOTODESK.OLD")), ContentOf("FOTODESK.EX_"));

  EXPECT_EQ(window_.msgLabelHistory, std::vector<std::string>{"アップデートコンポーネント(2)の展開..."});
  EXPECT_EQ(window_.Caption(form::Control::ProgressLabel), "Completed");
  EXPECT_EQ(window_.progress, 100);
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].kind, form::BoxKind::Information);
  EXPECT_EQ(window_.boxes[0].text, "アップデートが完了しました。終了します。");
  EXPECT_TRUE(window_.closed);
  EXPECT_TRUE(window_.windowEnabled);
  EXPECT_FALSE(window_.busyCursor);
  EXPECT_FALSE(window_.IsVisible(form::Control::DownLoadButton));
  EXPECT_FALSE(window_.IsVisible(form::Control::CancelButton));
}

TEST_F(UnpressTest, OldPhaseInstallsAndHandsBackToTheDriver) {
  if (NoLhaLibrary()) GTEST_SKIP() << kNoLhaLibrary;
  Prepare(true, {6});
  ASSERT_TRUE(Run()) << (window_.boxes.empty() ? "" : window_.boxes.back().text);
  EXPECT_EQ(ReadWork("FOTODESK.EXE"), ContentOf("FOTODESK.EX_"));
  EXPECT_EQ(ReadWork("FDIMAGE.DLL"), ContentOf("FDIMAGE.DL_"));
  EXPECT_EQ(ReadWork("Template/日本道路公団/KEN/TEMPLATE.TXT"), ContentOf("TEMPLATE.JH_"));
  EXPECT_FALSE(fs::exists(Work("Template/日本高速道路")));
  EXPECT_EQ(ReadWork("corins6.0/CORINS.DAT"), ContentOf("CORINS6.lzh"));
  EXPECT_EQ(ReadWork("ヘルプ/index.htm"), ContentOf("ヘルプ.lzh"));
  EXPECT_EQ(ReadWork("plugin/CADKAGA__200503.SPI"), ContentOf("CADKAGA__200503.SP_"));
  EXPECT_FALSE(fs::exists(prefix_.HostC(std::string(kRoot) + "FOTODESK.EXE")));
  EXPECT_EQ(DownloadFolderNames(), std::vector<std::string>{"FOTODESK.OLD"});
  EXPECT_EQ(window_.msgLabelHistory, std::vector<std::string>{"アップデートコンポーネント(1)の展開..."});
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_FALSE(window_.closed);
  EXPECT_EQ(window_.progress, 100);
}

TEST_F(UnpressTest, OldPhaseWithoutPlugInRowsBacksUpThePlugInsAndInstallsNone) {
  if (NoLhaLibrary()) GTEST_SKIP() << kNoLhaLibrary;
  Prepare(true, {11});  // a standard with no files in the old-version phase
  test::TempPrefix::WriteFile(Work("plugin/OLD.SPI"), "previous plug-in");
  ASSERT_TRUE(Run()) << (window_.boxes.empty() ? "" : window_.boxes.back().text);
  EXPECT_EQ(ReadWork("FOTODESK.EXE"), ContentOf("FOTODESK.EX_"));
  std::vector<std::string> plugins;
  for (const auto& entry : fs::directory_iterator(Work("plugin")))
    plugins.push_back(entry.path().filename().string());
  EXPECT_EQ(plugins, std::vector<std::string>{"OLD.BAK"});
  EXPECT_TRUE(window_.boxes.empty());
}

struct SettingsCase {
  const char* installed;  // nullptr: no installed settings file
  bool replaced;
};

class SettingsFileTest : public PhaseFixture, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(SettingsFileTest, IsKeptOnlyWhenItHoldsTheLabelCount) {
  if (NoLhaLibrary()) GTEST_SKIP() << kNoLhaLibrary;
  Prepare(false, {0});
  const SettingsCase& c = GetParam();
  if (c.installed != nullptr) test::TempPrefix::WriteFile(Work("FOTODESK.INI"), c.installed);
  ASSERT_TRUE(Run());
  EXPECT_EQ(ReadWork("FOTODESK.INI"), c.replaced ? ContentOf("FOTODESK.IN_") : std::string(c.installed));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFileTest,
    ::testing::Values(SettingsCase{nullptr, true},  // first installation
                      SettingsCase{"[Other]\r\nSettingNameCount=3\r\n", true},
                      SettingsCase{"[MediaLabelPrintSet]\r\nSettingNameCount=-1\r\n", true},
                      SettingsCase{"[MediaLabelPrintSet]\r\nSettingNameCount=many\r\n", true},
                      SettingsCase{"[MediaLabelPrintSet]\r\nSettingNameCount=3\r\n", false}));

}  // namespace
}  // namespace sorana::install
