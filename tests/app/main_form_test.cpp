// The core object of the window: closing in the middle of an update, and the
// archive library's panic box reaching the window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "app/main_form.h"
#include "app_prefix.h"
#include "archive/lhactrls.h"
#include "download/scoped_env.h"
#include "support/http_test_server.h"

namespace sorana::app {
namespace {

TEST(MainFormTest, ClosingDuringAFetchRecordsOnceAndEndsTheRun) {
  test::AppPrefix env;
  env.WriteSettings("PATH=C:\\X\\\r\n");
  env.InstallMainProgram("C:\\X\\OLD_BIN\\", 2, 4, 0, 0);
  env.MakeFolderC("C:\\X\\NEW_BIN");
  test::HttpTestServer server(env.prefix.Scratch());
  server.SetDefaultFault(test::HttpFault::Stall);
  std::optional<test::ScopedEnv> serverEnv(std::in_place, "SORANA_UPDATE_SERVER", server.BaseUrl());

  test::FakeWindow window;
  MainForm form(window);
  window.onClose = [&] { form.FormClose(); };
  ASSERT_TRUE(form.FormCreate());
  form.FormActivate();
  int closesDuringRun = 0;
  window.onProcessMessages = [&] {
    if (form.State().Updating && !window.closed && !server.Requests().empty()) {
      ++closesDuringRun;
      window.Close();
    }
  };
  form.DownLoadButtonClick();
  serverEnv.reset();

  EXPECT_EQ(closesDuringRun, 1);
  EXPECT_TRUE(form.State().Closed);
  EXPECT_FALSE(form.State().Updating);
  EXPECT_EQ(server.Requests().size(), 1u);  // nothing fetched after the close
  EXPECT_TRUE(form.State().FileList.empty());
  EXPECT_TRUE(env.ExistsC("C:\\X\\Install.ini"));
  for (const test::ShownBox& box : window.boxes) EXPECT_NE(box.kind, form::BoxKind::Error) << box.text;

  // Events arriving after the close change nothing.
  std::filesystem::remove(env.prefix.HostC("C:\\X\\Install.ini"));
  form.FormClose();
  form.DownLoadButtonClick();
  EXPECT_FALSE(env.ExistsC("C:\\X\\Install.ini"));
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(MainFormTest, ActivationStepsRunFirstAndAfterTheUpdatersOwnBoxesOnly) {
  test::AppPrefix env;
  env.WriteSettings("PATH=C:\\X\\\r\n");
  env.InstallMainProgram("C:\\X\\OLD_BIN\\", 2, 4, 0, 0);
  test::FakeWindow window;
  MainForm form(window);
  ASSERT_TRUE(form.FormCreate());  // its notice comes before the first show
  form.FormActivate();
  EXPECT_EQ(window.Caption(form::Control::MsgLabel), form::kStartPrompt);

  // A download's message, then whatever happened while the window was inactive.
  auto promptAfter = [&](const std::function<void()>& meanwhile) {
    window.SetCaption(form::Control::MsgLabel, "アップデートコンポーネント(2)のダウンロード 40%");
    meanwhile();
    form.FormActivate();
    return window.Caption(form::Control::MsgLabel) == form::kStartPrompt;
  };
  const auto anotherProgram = [] {};
  EXPECT_FALSE(promptAfter(anotherProgram));
  EXPECT_FALSE(promptAfter(anotherProgram));
  window.inputAnswers = {{false, ""}};
  EXPECT_TRUE(promptAfter([&] { form.ProxyIPMenuClick(); }));
  EXPECT_FALSE(promptAfter(anotherProgram));
  window.checks.fill(false);
  EXPECT_TRUE(promptAfter([&] { form.DownLoadButtonClick(); }));  // the driver's box
  EXPECT_EQ(window.boxes.back().text, "基準が選択されていません");
  EXPECT_TRUE(promptAfter([&] { form.OwnBoxOpening(); }));  // the window's error report
  EXPECT_FALSE(promptAfter(anotherProgram));
}

TEST(MainFormTest, PanicOfTheArchiveLibraryIsShownByTheWindow) {
  test::AppPrefix env;
  test::FakeWindow window;
  {
    MainForm form(window);
    archive::UnloadLhaLibrary();
    archive::ExtractLha("C:\\a.lzh", "C:\\x");
  }
  ASSERT_FALSE(window.boxes.empty());
  EXPECT_EQ(window.boxes.back().kind, form::BoxKind::Panic);
  size_t shown = window.boxes.size();
  archive::ExtractLha("C:\\a.lzh", "C:\\x");  // the form is gone: not to its window
  EXPECT_EQ(window.boxes.size(), shown);
}

}  // namespace
}  // namespace sorana::app
