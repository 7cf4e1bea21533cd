// Start-up, activation and close of the window on a real prefix.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/form_lifecycle.h"
#include "app/product_registry.h"
#include "app_prefix.h"
#include "catalogue/standards.h"
#include "platform/registry.h"
#include "update/update_record.h"

namespace sorana::app {
namespace {

using test::AppPrefix;
using test::FakeWindow;

constexpr const char* kOverwriteQuestion =
    "既に同バージョンまたは上位バージョンがインストールされています。\r上書き更新を行いますか？";
constexpr const char* kMenuNotice =
    "このアップデートを行うと、ナギメニューを御使用の場合はバージョン1.07i以降が必要になります\r\r"
    "必ずナギメニューのバージョンをご確認下さい";

class StartupTest : public ::testing::Test {
 protected:
  bool HasInstallIniAnywhere() const {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(env.prefix.HostC("C:\\"), ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->path().filename() == "Install.ini") return true;
#ifdef _WIN32
      // The machine's own drive C:: its system folders are looked at, not walked.
      const std::string name = it->path().filename().string();
      if (it.depth() == 0 && (name == "windows" || name == "users" || name.starts_with("Program"))) {
        it.disable_recursion_pending();
      }
#endif
    }
    return false;
  }

  AppPrefix env;
  FakeWindow window;
  form::FormState state;
  FormLifecycle form{state, window};
};

TEST_F(StartupTest, WithoutSettingsFileAndRegistryKeyEndsSilently) {
  EXPECT_FALSE(form.FormCreate());
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_FALSE(state.ListLoaded);
  EXPECT_FALSE(HasInstallIniAnywhere());
}

TEST_F(StartupTest, RegistryPathIntoOldBinIsRepairedAndUsed) {
  env.RegisterExename("C:\\X\\OLD_BIN\\fotodesk.exe");
  ASSERT_TRUE(form.FormCreate());
  EXPECT_EQ(env.RegisteredExename(), "C:\\X\\FOTODESK.EXE");
  // The key below HKEY_CURRENT_USER is created for the engine option.
  EXPECT_TRUE(platform::RegistryKey::Open(platform::Hive::CurrentUser, kEngineOptionKey, false));
#ifndef _WIN32
  std::string userReg = test::TempPrefix::ReadFile(env.prefix.Root() / "user.reg");
  EXPECT_NE(userReg.find("\"ReadOption\"=hex:00,00,00,00,00,00,00,00,00,00,00,00"), std::string::npos);
#endif
  EXPECT_EQ(state.InstallRoot, "C:\\X\\");
  EXPECT_EQ(state.WorkFolder, "C:\\X\\");
}

class StagingFolderInPath : public StartupTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(StagingFolderInPath, IsRemovedFromInstallRoot) {
  env.WriteSettings(std::string("PATH=") + GetParam() + "\r\n");
  ASSERT_TRUE(form.FormCreate());
  EXPECT_EQ(state.InstallRoot, "C:\\X\\");
  EXPECT_EQ(state.WorkFolder, "C:\\X\\");
}

// New_BIN\ is how an update spells the staging folder while it runs.
INSTANTIATE_TEST_SUITE_P(Paths, StagingFolderInPath,
                         ::testing::Values("C:\\X\\OLD_BIN\\", "C:\\X\\NEW_BIN\\", "C:\\X\\New_BIN\\",
                                           "C:\\X"));

struct VersionCase {
  std::optional<std::array<uint16_t, 4>> version;  // nullopt: no fotodesk.exe
  const char* text;
  bool asked;
};

class OverwriteQuestion : public StartupTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(OverwriteQuestion, IsAskedForEqualOrNewerVersionTexts) {
  const VersionCase& c = GetParam();
  env.WriteSettings("PATH=C:\\X\\\r\n");
  env.MakeFolderC("C:\\X");
  if (c.version) {
    auto [a, b, d, e] = *c.version;
    env.InstallMainProgram("C:\\X\\", a, b, d, e);
  }
  ASSERT_TRUE(form.FormCreate());
  EXPECT_EQ(state.NowVersion, c.text);
  EXPECT_EQ(window.Caption(form::Control::NowVersionLabel), std::string("NowVersion: ") + c.text);
  EXPECT_EQ(window.Caption(form::Control::UpVersionLabel), "UpVersion: v2.4.1.0");
  bool asked = !window.boxes.empty() && window.boxes.front().kind == form::BoxKind::Confirmation;
  EXPECT_EQ(asked, c.asked);
  if (asked) {
    EXPECT_EQ(window.boxes.front().text, kOverwriteQuestion);
  }
  ASSERT_FALSE(window.boxes.empty());
  EXPECT_EQ(window.boxes.back().kind, form::BoxKind::Notice);
  EXPECT_EQ(window.boxes.back().text, kMenuNotice);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, OverwriteQuestion,
    ::testing::Values(VersionCase{std::array<uint16_t, 4>{2, 4, 1, 0}, "v2.4.1.0", true},
                      VersionCase{std::array<uint16_t, 4>{3, 0, 0, 0}, "v3.0.0.0", true},
                      VersionCase{std::array<uint16_t, 4>{2, 4, 0, 0}, "v2.4.0.0", false},
                      VersionCase{std::array<uint16_t, 4>{2, 10, 0, 0}, "v2.10.0.0", true},
                      VersionCase{std::array<uint16_t, 4>{2, 4, 0, 12}, "v2.4.0.12", false},
                      VersionCase{std::nullopt, "", false}));

// A run stopped dead left its record: the next start announces it instead of
// asking about the version its half-installed program carries, and checks the
// standards it was installing. A record it cannot read counts as none.
TEST_F(StartupTest, AStoppedUpdateIsAnnouncedInsteadOfTheOverwriteQuestion) {
  env.WriteSettings("PATH=C:\\X\\\r\n");
  env.InstallMainProgram("C:\\X\\", 2, 4, 1, 0);
  update::UpdateRecord record;
  record.step = update::RunStep::Installing;
  record.standards[3] = true;
  ASSERT_TRUE(update::WriteUpdateRecord("C:\\X\\", record));
  ASSERT_TRUE(form.FormCreate());
  ASSERT_EQ(window.boxes.size(), 2u);
  EXPECT_EQ(window.boxes[0].text, kMenuNotice);
  EXPECT_EQ(window.boxes[1].kind, form::BoxKind::Information);
  EXPECT_TRUE(window.boxes[1].text.starts_with("前回のアップデートは完了していません。"))
      << window.boxes[1].text;
  for (int i = 0; i < catalogue::kStandardCount; ++i) EXPECT_EQ(window.IsChecked(i), i == 3) << i;

  env.WriteC("C:\\X\\SorUpdate.ini", "sorana-update-record 1\nstep sideways\n");
  window.boxes.clear();
  ASSERT_TRUE(form.FormCreate());
  ASSERT_FALSE(window.boxes.empty());
  EXPECT_EQ(window.boxes.front().text, kOverwriteQuestion);
}

TEST_F(StartupTest, AcceptedStartupPreparesTheWindowAndActivationEnablesStart) {
  env.WriteSettings("PATH=C:\\X\\\r\n");
  window.SetVisible(form::Control::CancelButton, true);
  ASSERT_TRUE(form.FormCreate());
  EXPECT_FALSE(window.IsVisible(form::Control::CancelButton));
  EXPECT_TRUE(window.IsVisible(form::Control::DownLoadButton));
  EXPECT_FALSE(window.IsEnabled(form::Control::DownLoadButton));
  EXPECT_EQ(window.clientWidth, 506);
  EXPECT_EQ(window.clientHeight, 288);
  EXPECT_TRUE(state.ListLoaded);

  window.SetCaption(form::Control::ProgressLabel, "3/9");
  form.FormActivate();
  EXPECT_TRUE(window.IsEnabled(form::Control::DownLoadButton));
  EXPECT_EQ(window.Caption(form::Control::MsgLabel), form::kStartPrompt);
  EXPECT_EQ(window.Caption(form::Control::ProgressLabel), "");
  EXPECT_TRUE(window.IsWindowEnabled());
  EXPECT_FALSE(window.closePosted);

  // During an update that cannot be cancelled the window stays disabled.
  window.SetWindowEnabled(false);
  form.FormActivate();
  EXPECT_FALSE(window.IsWindowEnabled());
}

TEST_F(StartupTest, DecliningClosesTheWindowAndLeavesTheRecordAlone) {
  env.WriteSettings("PATH=C:\\X\\\r\n");
  env.InstallMainProgram("C:\\X\\", 2, 4, 1, 0);
  env.MakeFolderC("C:\\X\\NEW_BIN");
  const std::string saved = test::StandardsRecord({"国土交通省電子納品基準=1", "愛媛県電子納品基準=1"});
  env.WriteC("C:\\X\\Install.ini", saved);
  window.confirmAnswers = {form::BoxAnswer::No};

  ASSERT_TRUE(form.FormCreate());
  EXPECT_FALSE(state.StartupAccepted);
  EXPECT_EQ(window.boxes.size(), 1u);  // the question, no notice
  EXPECT_FALSE(env.ExistsC("C:\\X\\NEW_BIN\\Install.ini"));

  form.FormActivate();
  EXPECT_TRUE(window.closePosted);
  EXPECT_EQ(window.Caption(form::Control::MsgLabel), "XXX");
  form.FormClose();
  EXPECT_EQ(env.ReadC("C:\\X\\Install.ini"), saved);
  EXPECT_FALSE(env.ExistsC("C:\\X\\NEW_BIN\\Install.ini"));
}

TEST_F(StartupTest, SettingsFolderOnTheSystemDriveWins) {
  env.MakeFolderC("C:\\VELMORA\\SORANA");
  env.WriteC("C:\\VELMORA\\SORANA\\VMSORANA.INI", "PATH=C:\\Velmora\\\r\n");
  env.WriteSettings("PATH=C:\\Windows\\\r\n");
  ASSERT_TRUE(form.FormCreate());
  EXPECT_EQ(state.InitFileName, "C:\\VELMORA\\SORANA\\VMSORANA.INI");
  EXPECT_EQ(state.InstallRoot, "C:\\Velmora\\");
}

TEST_F(StartupTest, SettingsFileWithoutPathFallsBackToTheRegistry) {
  env.RegisterExename("C:\\Reg\\fotodesk.exe");
  env.WriteSettings("PROXYPORT=8,080\r\n");
  ASSERT_TRUE(form.FormCreate());
  EXPECT_EQ(state.InitFileName, "C:\\windows\\VMSORANA.INI");
  EXPECT_EQ(state.ProxyIP, "");
  EXPECT_EQ(state.ProxyPortNo, 8080);
  EXPECT_EQ(state.InitVer, "");  // a missing VER line is not the default
  EXPECT_EQ(state.InstallRoot, "C:\\Reg\\");
}

TEST_F(StartupTest, PortOutOfRangeIsReportedAndTakenAsZero) {
  env.WriteSettings("PROXYIP=p\r\nPROXYPORT=80-\r\nPATH=C:\\X\\\r\n");
  ASSERT_TRUE(form.FormCreate());
  ASSERT_GE(window.boxes.size(), 2u);
  EXPECT_EQ(window.boxes.front().kind, form::BoxKind::Error);
  EXPECT_EQ(window.boxes.front().text, "範囲チェックエラー");
  EXPECT_EQ(state.ProxyPortNo, 0);
  EXPECT_EQ(state.ProxyIP, "p");
  EXPECT_EQ(window.boxes.back().text, kMenuNotice);
}

TEST_F(StartupTest, CloseRecordsInWorkFolderAndCopiesToInstallRoot) {
  env.WriteSettings("PATH=C:\\X\\\r\n");
  env.MakeFolderC("C:\\X\\NEW_BIN");
  ASSERT_TRUE(form.FormCreate());
  window.SetChecked(5, false);
  state.WorkFolder = "C:\\X\\New_BIN\\";  // as a completed update leaves it
  state.FileList = {"a.lzh"};
  form.FormClose();
  std::optional<std::string> staging = env.ReadC("C:\\X\\NEW_BIN\\Install.ini");
  ASSERT_TRUE(staging);
  EXPECT_NE(staging->find("広島県電子納品基準=0"), std::string::npos);
  EXPECT_EQ(env.ReadC("C:\\X\\Install.ini"), staging);
  EXPECT_TRUE(state.FileList.empty());
  EXPECT_TRUE(window.boxes.size() == 1u);  // only the notice
}

TEST_F(StartupTest, FailedRecordIsReportedAndTheCloseGoesOn) {
  env.WriteSettings("PATH=C:\\X\\\r\n");
  env.MakeFolderC("C:\\X");
  const std::string saved = test::StandardsRecord({"国土交通省電子納品基準=1"});
  env.WriteC("C:\\X\\Install.ini", saved);
  ASSERT_TRUE(form.FormCreate());
  state.WorkFolder = "C:\\X\\OLD_BIN\\";  // a folder that does not exist
  state.Updating = true;
  state.FileList = {"a.lzh"};
  form.FormClose();
  ASSERT_EQ(window.boxes.back().kind, form::BoxKind::Error);
  EXPECT_EQ(window.boxes.back().text, "C:\\X\\OLD_BIN\\Install.ini に書き込めません");
  EXPECT_EQ(env.ReadC("C:\\X\\Install.ini"), saved);
  EXPECT_EQ(state.FileList.size(), 1u);  // the running update still uses it
}

}  // namespace
}  // namespace sorana::app
