// How Unpress ends when a download, a copy, a folder or an archive fails, and
// how it shows progress.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include "archive/lhactrls.h"
#include "archive/lhactrls_testing.h"
#include "phase_fixture.h"

namespace sorana::install {
namespace {

namespace fs = std::filesystem;

using UnpressFailureTest = PhaseFixture;

std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder))
    files[entry.path().filename().string()] = test::TempPrefix::ReadFile(entry.path());
  return files;
}

TEST_F(UnpressFailureTest, BadDownloadStopsTheRunBeforeAnythingIsInstalled) {
  struct Case {
    size_t position;
    std::string (*spoil)(const std::string& good);
    int code;
  };
  const Case cases[] = {
      {12, [](const std::string& good) { return good.substr(0, good.size() - 9); }, 0},  // cut short
      {42, [](const std::string& good) { return good + "more"; }, 0},      // longer than its header says
      {5, [](const std::string& good) { return good.substr(0, 12); }, 0},  // header cut
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    window_ = test::FakeWindow();
    Prepare(false, {0});
    const std::string good = test::TempPrefix::ReadFile(Download(state_.FileList[c.position]));
    PutDownload(c.position, c.spoil(good));
    const auto before = Snapshot(prefix_.HostC(state_.DownloadFolder));

    EXPECT_FALSE(Run());
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].kind, form::BoxKind::Error);
    EXPECT_EQ(window_.boxes[0].text, FailureBox("コンポーネントの展開[" + std::to_string(c.position) +
                                                    "]に失敗しました。終了します。",
                                                c.code));
    EXPECT_TRUE(window_.closed);
    EXPECT_TRUE(window_.windowEnabled);
    EXPECT_FALSE(window_.busyCursor);
    EXPECT_NE(window_.Caption(form::Control::ProgressLabel), "Completed");
    // Nothing installed; the downloads stay as they were, with the copies expanded before the bad one.
    EXPECT_FALSE(fs::exists(Work("FOTODESK.EXE")));
    const auto after = Snapshot(prefix_.HostC(state_.DownloadFolder));
    for (const auto& [name, bytes] : before) EXPECT_EQ(after.at(name), bytes) << name;
    EXPECT_EQ(after.count("FOTODESK.EXE"), 1u);
    EXPECT_EQ(after.size(), before.size() + c.position);
  }
}

TEST_F(UnpressFailureTest, MissingDownloadReportsItsErrno) {
  Prepare(false, {0});
  fs::remove(Download(state_.FileList[3]));
  EXPECT_FALSE(Run());
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text, FailureBox("コンポーネントの展開[3]に失敗しました。終了します。", ENOENT));
}

TEST_F(UnpressFailureTest, ProgressStepsWithTheNumberOfEntries) {
  auto progressOf = [this](size_t count) {
    window_ = test::FakeWindow();
    state_.DownloadFolder = "C:\\dl\\";
    state_.WorkFolder = "C:\\work\\";
    state_.FileList.clear();
    for (size_t i = 0; i < count; ++i) {
      state_.FileList.push_back("F" + std::to_string(i) + ".KO_");
      PutDownload(i, "plain");
    }
    Run();  // fails at its first copy: these are no programs
  };
  progressOf(24);
  std::vector<int> bar;
  for (int i = 0; i < 24; ++i) bar.push_back(1 + 4 * i);
  EXPECT_EQ(window_.progressHistory, bar);
  EXPECT_EQ(window_.progressLabelHistory.front(), "4 / 100");
  EXPECT_EQ(window_.progressLabelHistory[5], "25 / 100");
  EXPECT_EQ(window_.progressLabelHistory.back(), "100 / 100");

  progressOf(3);
  EXPECT_EQ(window_.progressLabelHistory, (std::vector<std::string>{"33 / 100", "66 / 100", "100 / 100"}));
  EXPECT_EQ(window_.progressHistory, (std::vector<int>{1, 26, 51}));

  progressOf(100);
  EXPECT_EQ(window_.progressHistory, std::vector<int>(100, 1));
  EXPECT_EQ(window_.progressLabelHistory[28], "29 / 100");  // no rounding down through floating point
  EXPECT_EQ(window_.progressLabelHistory.back(), "100 / 100");
  EXPECT_EQ(window_.boxes.back().text,
            FailureBox("コンポーネントの展開[0]に失敗しました。終了します。", ENOENT));
}

TEST_F(UnpressFailureTest, ReadOnlyTargets) {
  if (NoLhaLibrary()) GTEST_SKIP() << kNoLhaLibrary;
  // A read-only list file is replaced: its attribute is cleared first.
  Prepare(false, {0});
  test::TempPrefix::WriteFile(Work("Template/14年度/KEN/LIST.TXT"), "old list");
  test::TempPrefix::MakeReadOnly(Work("Template/14年度/KEN/LIST.TXT"));
  ASSERT_TRUE(Run()) << window_.boxes.back().text;
  EXPECT_EQ(ReadWork("Template/14年度/KEN/LIST.TXT"), ContentOf("LIST.4K_"));

  // A read-only library is not: the run stops at its position.
  window_ = test::FakeWindow();
  Prepare(false, {0});
  test::TempPrefix::WriteFile(Work("FDCORE.DLL"), "in use");
  test::TempPrefix::MakeReadOnly(Work("FDCORE.DLL"));
  EXPECT_FALSE(Run());
  EXPECT_EQ(window_.boxes.back().text,
            FailureBox("コンポーネントの展開[9]に失敗しました。終了します。", EACCES));
  EXPECT_EQ(ReadWork("FDCORE.DLL"), "in use");
  EXPECT_EQ(ReadWork("FDSETUP.EXE"), ContentOf("FDSETUP.EX_"));  // copied before the failure
  EXPECT_FALSE(fs::exists(Work("FOTODESK.INI")));                // the sequence stopped there
  EXPECT_TRUE(fs::exists(Download("FDCORE.DL_")));               // no clean-up after a failure
  EXPECT_TRUE(window_.closed);
}

TEST_F(UnpressFailureTest, FoldersThatCannotBeMade) {
  if (NoLhaLibrary()) GTEST_SKIP() << kNoLhaLibrary;
  const std::pair<const char*, const char*> cases[] = {
      {"Template", "コンポーネントの展開[Template\\14年度\\KEN CreateFolder]に失敗しました。終了します。"},
      {"corins5.0", "コンポーネントの展開[corins5.0CreateFolder]に失敗しました。終了します。"},
      {"ヘルプ", "コンポーネントの展開[ヘルプCreateFolder]に失敗しました。終了します。"},
  };
  for (const auto& [blocker, message] : cases) {
    window_ = test::FakeWindow();
    Prepare(false, {0});
    fs::remove_all(Work(blocker));
    test::TempPrefix::WriteFile(Work(blocker), "a file where a folder is wanted");
    EXPECT_FALSE(Run());
    ASSERT_FALSE(window_.boxes.empty());
    EXPECT_TRUE(window_.boxes.back().text.starts_with(std::string(message) + "\r\r"))
        << window_.boxes.back().text;
    fs::remove(Work(blocker));
  }
}

TEST_F(UnpressFailureTest, ArchivesMustExtract) {
  if (NoLhaLibrary()) GTEST_SKIP() << kNoLhaLibrary;
  // A read-only archive folder is opened up before the archive goes in.
  Prepare(false, {0});
  fs::create_directories(Work("corins0.0"));
  test::TempPrefix::MakeReadOnly(Work("corins0.0"));
  ASSERT_TRUE(Run()) << window_.boxes.back().text;
  EXPECT_EQ(ReadWork("corins0.0/CORINS.DAT"), ContentOf("CORINS0.lzh"));

  // An archive the library cannot read stops the run at its position.
  window_ = test::FakeWindow();
  Prepare(false, {0});
  PutDownload(35, "this is no archive at all");
  EXPECT_FALSE(Run());
  EXPECT_EQ(window_.boxes.back().text, FailureBox("コンポーネントの展開[35]に失敗しました。終了します。", 0));
  EXPECT_FALSE(fs::exists(Work("ヘルプ/index.htm")));  // the help step did not run

  // So does a missing library: nothing was extracted.
  window_ = test::FakeWindow();
  Prepare(false, {0});
  archive::UnloadLhaLibrary();
  EXPECT_FALSE(Run());
  LoadTheLhaLibrary();
  EXPECT_EQ(window_.boxes.back().text, FailureBox("コンポーネントの展開[34]に失敗しました。終了します。", 0));
}

TEST_F(UnpressFailureTest, HelpStepMergesOnlyABundle) {
  if (NoLhaLibrary()) GTEST_SKIP() << kNoLhaLibrary;
  // Any letter case of MERGEHELP. merges.
  Prepare(false, {0});
  fs::rename(Download("MERGEHELP.IN_"), Download("mergehelp.in_"));
  state_.FileList[37] = "mergehelp.in_";
  ASSERT_TRUE(Run()) << window_.boxes.back().text;
  EXPECT_EQ(ReadWork("ヘルプ/img/logo.gif"), "GIF");

  // Anything else at that position is an archive.
  window_ = test::FakeWindow();
  Prepare(false, {0});
  fs::remove(Download("MERGEHELP.IN_"));
  state_.FileList[37] = "ヘルプ.lzh";
  PutDownload(37, ArchiveFor("ヘルプ.lzh"));
  ASSERT_TRUE(Run()) << window_.boxes.back().text;
  EXPECT_EQ(ReadWork("ヘルプ/index.htm"), ContentOf("ヘルプ.lzh"));
  EXPECT_FALSE(fs::exists(Work("ヘルプ/img")));
}

TEST_F(UnpressFailureTest, BackupStepsThatFail) {
  if (NoLhaLibrary()) GTEST_SKIP() << kNoLhaLibrary;
  Prepare(false, {0});
  test::TempPrefix::WriteFile(Work("plugin/a.doc"), "document");
  test::TempPrefix::WriteFile(Work("plugin/a.xls"), "sheet");  // both want to be a.BAK
  EXPECT_FALSE(Run());
  EXPECT_TRUE(window_.boxes.back().text.starts_with(
      "コンポーネントの展開[RenameSPI]に失敗しました。終了します。\r\r"));
  EXPECT_TRUE(fs::exists(Work("FDPICLIB.DLL")));  // everything before the plug-ins is in place

  window_ = test::FakeWindow();
  Prepare(false, {0});
  fs::create_directories(Download("FOTODESK.OLD"));  // the backup cannot be written
  EXPECT_FALSE(Run());
  EXPECT_TRUE(window_.boxes.back().text.starts_with("コンポーネントの展開に失敗しました(3)終了します。\r\r"));
  EXPECT_TRUE(fs::exists(Work("plugin/KOKDO202003.SPI")));
}

}  // namespace
}  // namespace sorana::install
