// The phases a run goes through for the installed version and the standards
// checked, and the first run that converts a one-folder installation.
#include "update/download_driver.h"

#include <gtest/gtest.h>

#include "driver_fixture.h"

namespace sorana::update {
namespace {

using namespace driver_test;

TEST_F(DownloadDriverTest, RecentProgramRunsOnlyTheNewPhase) {
  Install(test::VersionParts{1, 2, 9, 0});
  window_.checks[7] = true;  // 日本道路公団: 6 files
  driver_.DownLoadButtonClick();

  ASSERT_EQ(calls_.size(), 1u);
  const UnpressCall& call = calls_[0];
  EXPECT_FALSE(call.oldPhase);
  EXPECT_EQ(call.fileList.size(), 48u);
  EXPECT_EQ(call.workFolder, "C:\\SORANA\\New_BIN\\");
  EXPECT_EQ(call.downloadFolder, std::string(kTemp) + "SorNewUp\\");
  EXPECT_TRUE(call.allFilesWhole);
  EXPECT_TRUE(call.cancelVisible);  // the layout was there: the run could be cancelled
  std::vector<std::string> paths = PathsRequested();
  ASSERT_EQ(paths.size(), 48u);
  EXPECT_EQ(paths[0], "/sorana/20240410/FOTODESK.EX_");
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "/sorana/20240410/PHOTOJHS200404.SP_"), 1);
  // Kept alive from file to file: one connection for each transfer at once,
  // and the driver's own, idle while files fetched ahead are reported.
  EXPECT_LE(server_.ConnectionCount(), ParallelFetches() + (ParallelFetches() > 1 ? 1 : 0));
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_EQ(window_.msgLabelHistory.front(), "アップデートコンポーネント(2)のダウンロード 2%");
}

// With every standard checked: both phases, complete, in order.
void ExpectBothPhases(const std::vector<UnpressCall>& calls, const std::vector<std::string>& paths,
                      const test::FakeWindow& window) {
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_TRUE(calls[0].oldPhase);
  EXPECT_EQ(calls[0].workFolder, "C:\\SORANA\\OLD_BIN\\");
  EXPECT_EQ(calls[0].downloadFolder, std::string(kTemp) + "SorOldUp\\");
  EXPECT_EQ(calls[0].fileList.size(), 94u);
  EXPECT_TRUE(calls[0].allFilesWhole);
  EXPECT_FALSE(calls[1].oldPhase);
  EXPECT_EQ(calls[1].fileList.size(), 272u);
  EXPECT_TRUE(calls[1].allFilesWhole);
  ASSERT_EQ(paths.size(), 94u + 272u);
  EXPECT_EQ(paths[0], "/sorana/v128/FOTODESK.EX_");
  EXPECT_EQ(paths[94], "/sorana/20240410/FOTODESK.EX_");
  // A name listed twice in a row is fetched twice.
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "/sorana/v128/KYOTO200608.SP_"), 2);
  EXPECT_EQ(window.msgLabelHistory.front(), "アップデートコンポーネント(1)のダウンロード 1%");
  EXPECT_TRUE(window.boxes.empty());
}

TEST_F(DownloadDriverTest, UnknownVersionRunsBothPhases) {
  Install(std::nullopt);
  window_.checks.fill(true);
  driver_.DownLoadButtonClick();
  ExpectBothPhases(calls_, PathsRequested(), window_);
}

// Versions compare as numbers: v1.10.0.0 is past the intermediate release,
// though its text sorts below "v1.2.9".
TEST_F(DownloadDriverTest, VersionComparedAsNumbersRunsOnlyTheNewPhaseForV1_10) {
  Install(test::VersionParts{1, 10, 0, 0});
  window_.checks[7] = true;
  driver_.DownLoadButtonClick();
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_FALSE(calls_[0].oldPhase);
}

TEST_F(DownloadDriverTest, NoStandardFetchesNothingAndRestoresTheWindow) {
  Install(test::VersionParts{2, 0, 0, 0});
  driver_.DownLoadButtonClick();
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].kind, BoxKind::Information);
  EXPECT_EQ(window_.boxes[0].text, "基準が選択されていません");
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_TRUE(calls_.empty());
  ExpectIdle();
}

TEST_F(DownloadDriverTest, OldProgramWithStandardsWithoutOldFilesRunsBothPhases) {
  Install(test::VersionParts{1, 0, 0, 0});
  driver_.DownLoadButtonClick();  // nothing checked: refused in the old-version phase too
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text, "基準が選択されていません");
  EXPECT_TRUE(server_.Requests().empty());

  window_.checks[11] = window_.checks[21] = true;  // no files of theirs in the old-version phase
  driver_.DownLoadButtonClick();
  ASSERT_EQ(calls_.size(), 2u);
  EXPECT_TRUE(calls_[0].oldPhase);
  EXPECT_EQ(calls_[0].fileList.size(), static_cast<size_t>(kOldProgramCount));
  EXPECT_TRUE(calls_[0].allFilesWhole);
  EXPECT_FALSE(calls_[1].oldPhase);
  EXPECT_GT(calls_[1].fileList.size(), static_cast<size_t>(kNewProgramCount));
  EXPECT_EQ(window_.boxes.size(), 1u);
}

TEST_F(DownloadDriverTest, FailedInstallationOfTheOldPhaseStartsNoNewPhase) {
  Install(test::VersionParts{1, 0, 0, 0});
  window_.checks[5] = true;
  unpressResults_ = {false};
  driver_.DownLoadButtonClick();
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_TRUE(calls_[0].oldPhase);
  std::vector<std::string> paths = PathsRequested();
  EXPECT_TRUE(
      std::none_of(paths.begin(), paths.end(), [](auto& p) { return p.starts_with("/sorana/2024"); }));
}

// A one-folder installation, as a user's first installation leaves it.
void WriteOneFolderInstallation(const test::TempPrefix& prefix) {
  auto host = [&](const std::string& path) { return prefix.HostC(kRoot + path); };
  test::TempPrefix::WriteFile(host("fotodesk.exe"), test::MakeProgramFile(1, 1, 0, 0));
  for (const char* path : {"PICVIEW\\PICIVIEW.OCX", "PICVIEW\\regsvr32.exe", "Template\\t.txt",
                           "Layout\\l.lay", "SRUNINST.EXE", "DWVIEWER.INI", "FOTODESK.INI"}) {
    test::TempPrefix::WriteFile(host(path), "x");
  }
}

TEST_F(DownloadDriverTest, FirstRunConvertsTheLayoutAndCannotBeCancelled) {
  auto host = [this](const std::string& path) { return prefix_.HostC(kRoot + path); };
  WriteOneFolderInstallation(prefix_);
  window_.checks[1] = true;
  // The registration never ends: at its bound it is ended and the run goes on.
  driver_.SetRegistrationBound(milliseconds(300));
  driver_.DownLoadButtonClick();

  for (const char* path : {"OLD_BIN\\fotodesk.exe", "OLD_BIN\\Template\\t.txt", "NEW_BIN\\template\\t.txt",
                           "NEW_BIN\\Layout\\l.lay", "NEW_BIN\\Plugin", "NEW_BIN\\SRUNINST.EXE",
                           "NEW_BIN\\DWVIEWER.INI", "NEW_BIN\\FOTODESK.INI"}) {
    EXPECT_TRUE(fs::exists(host(path))) << path;
  }
  EXPECT_FALSE(fs::exists(host("fotodesk.exe")));
  EXPECT_TRUE(fs::exists(host("NEW_BIN\\PICVIEW\\PICIVIEW.OCX")));
  EXPECT_FALSE(fs::exists(host("OLD_BIN\\PICVIEW\\PICIVIEW.OCX")));
#ifndef _WIN32
  // wine gets the program as a host path and the arguments as written.
  EXPECT_EQ(test::TempPrefix::ReadFile(wineLog_),
            prefix_.HostC("C:\\SORANA\\NEW_BIN\\PICVIEW\\regsvr32.exe").string() +
                "\n/s\nC:\\SORANA\\NEW_BIN\\PICVIEW\\PICIVIEW.OCX\n");
#endif
  EXPECT_EQ(
      ViewerRegistrationCommand(kRoot),
      "\"C:\\SORANA\\NEW_BIN\\PICVIEW\\regsvr32.exe\" /s \"C:\\SORANA\\NEW_BIN\\PICVIEW\\PICIVIEW.OCX\"");

  // Both phases ran with the window disabled and no cancel button.
  ASSERT_EQ(calls_.size(), 2u);
  for (const UnpressCall& call : calls_) {
    EXPECT_FALSE(call.windowEnabled);
    EXPECT_FALSE(call.cancelVisible);
  }
}

#ifndef _WIN32
// The registration hangs in the stand-in wine only.
TEST_F(DownloadDriverTest, ClosingTheWindowDuringTheRegistrationEndsTheRun) {
  WriteOneFolderInstallation(prefix_);
  window_.checks[1] = true;
  window_.onProcessMessages = [this] {
    if (fs::exists(wineLog_) && !window_.closed) window_.Close();
  };
  auto start = std::chrono::steady_clock::now();
  driver_.DownLoadButtonClick();
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(2000));  // not the 60 s bound
  EXPECT_TRUE(window_.closed);
  EXPECT_TRUE(window_.boxes.empty());
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_TRUE(calls_.empty());
}
#endif

}  // namespace
}  // namespace sorana::update
