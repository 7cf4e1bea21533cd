// A whole update of a user's first installation, through the core against the
// test server: both phases fetched, expanded and installed, checked file by
// file; then the next start of the updater on the updated prefix.
#include <gtest/gtest.h>

#include <chrono>

#include "catalogue/catalogue.h"
#include "catalogue/standards.h"
#include "e2e/form_session.h"
#include "e2e/installed_tree.h"
#include "formats/win_path_text.h"
#include "platform/profile.h"
#include "platform/version_info.h"
#include "platform/windows_system.h"

namespace sorana::e2e {
namespace {

using catalogue::StandardChoice;
using form::BoxKind;
using form::Control;

constexpr const char* kOverwriteQuestion =
    "既に同バージョンまたは上位バージョンがインストールされています。\r上書き更新を行いますか？";

// The standards recorded in a standards record, as check states.
StandardChoice RecordedChoice(const std::string& windowsPath) {
  StandardChoice choice{};
  for (size_t i = 0; i < choice.size(); ++i) {
    choice[i] =
        platform::ReadProfileString(windowsPath, "PULUGINLIST", catalogue::kStandardCaptions[i], "") == "1";
  }
  return choice;
}

std::set<std::string> Union(std::set<std::string> a, const std::set<std::string>& b) {
  a.insert(b.begin(), b.end());
  return a;
}

std::set<std::string> Set(const std::vector<std::string>& names) { return {names.begin(), names.end()}; }

std::string Backup(bool oldPhase) { return formats::ChangeFileExt(MainProgramName(oldPhase), ".OLD"); }

TEST(EndToEndTest, FirstInstallationIsUpdatedThroughBothPhasesAndTheNextStartSeesIt) {
  UpdateScenario scenario({.installed = tools::VersionParts{1, 1, 0, 0}, .standards = AllStandards()});
  // The user drops two prefectures and starts the update.
  StandardChoice chosen = AllStandards();
  chosen[2] = chosen[9] = false;
  {
    FormSession session;
    ASSERT_TRUE(session.Start());
    EXPECT_EQ(session.window.Caption(Control::NowVersionLabel), "NowVersion: v1.1.0.0");
    EXPECT_TRUE(session.window.IsEnabled(Control::DownLoadButton));
    session.window.checks[2] = session.window.checks[9] = false;
    session.form.DownLoadButtonClick();

    EXPECT_TRUE(session.Boxes(BoxKind::Error).empty()) << session.Boxes(BoxKind::Error).front();
    EXPECT_TRUE(session.Boxes(BoxKind::Confirmation).empty());
    EXPECT_EQ(session.Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});
    EXPECT_TRUE(session.window.closed);
    EXPECT_TRUE(session.form.State().Closed);
    EXPECT_EQ(session.window.Caption(Control::ProgressLabel), "Completed");
  }

  // Both phases, every file in its place with its expanded content.
  size_t compared = ExpectFilesInstalled(scenario, ExpectedPhaseFiles(true, chosen)) +
                    ExpectFilesInstalled(scenario, ExpectedPhaseFiles(false, chosen));
  EXPECT_GT(compared, 300u);
  EXPECT_EQ(platform::GetFileVersionText(std::string(kInstallRoot) + "New_BIN\\fotodesk.exe"), "v2.4.1.0");
  EXPECT_EQ(platform::GetFileVersionText(std::string(kInstallRoot) + "FOTODESK.EXE"), "v2.4.1.0");
  EXPECT_EQ(platform::GetFileVersionText(std::string(kInstallRoot) + "OLD_BIN\\fotodesk.exe"), "v1.2.9.0");

  // The plug-in folders hold the chosen plug-ins; what was installed before
  // survives only as .BAK, the dropped standards' plug-ins among them.
  EXPECT_EQ(PluginFolder(scenario, true),
            Union(PluginNames(true, chosen), BackupNames(PluginNames(true, AllStandards()))));
  EXPECT_EQ(PluginFolder(scenario, false), PluginNames(false, chosen));

  // The download folders keep only the main program's backup.
  EXPECT_EQ(Set(FileNames(scenario.DownloadFolder(true))), std::set<std::string>{Backup(true)});
  EXPECT_EQ(Set(FileNames(scenario.DownloadFolder(false))), std::set<std::string>{Backup(false)});
  EXPECT_EQ(ReadHostFile(scenario.DownloadFolder(false) / Backup(false)),
            ReadHostFile(scenario.Product("New_BIN\\fotodesk.exe")));

  // The choice is recorded in the staging copy and the install root.
  EXPECT_EQ(RecordedChoice(std::string(kInstallRoot) + "New_BIN\\Install.ini"), chosen);
  EXPECT_EQ(RecordedChoice(std::string(kInstallRoot) + "Install.ini"), chosen);

  // The next start shows the new version, asks before overwriting, and an
  // update with one standard fewer leaves that standard's plug-ins as .BAK.
  StandardChoice fewer = chosen;
  fewer[3] = false;
  FormSession again;
  ASSERT_TRUE(again.Start());
  EXPECT_EQ(again.window.Caption(Control::NowVersionLabel), "NowVersion: v2.4.1.0");
  EXPECT_EQ(again.Boxes(BoxKind::Confirmation), std::vector<std::string>{kOverwriteQuestion});
  for (size_t i = 0; i < chosen.size(); ++i) EXPECT_EQ(again.window.checks[i], chosen[i]) << i;
  again.window.checks[3] = false;
  const size_t requestsBefore = scenario.Server().Requests().size();
  again.form.DownLoadButtonClick();

  EXPECT_EQ(again.Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});
  std::vector<test::HttpRequest> requests = scenario.Server().Requests();
  ASSERT_GT(requests.size(), requestsBefore);
  for (size_t i = requestsBefore; i < requests.size(); ++i) {
    EXPECT_TRUE(requests[i].path.starts_with("/sorana/20240410/")) << requests[i].path;
  }
  EXPECT_EQ(PluginFolder(scenario, false),
            Union(PluginNames(false, fewer), BackupNames(PluginNames(false, chosen))));
  ExpectFilesInstalled(scenario, ExpectedPhaseFiles(false, fewer));
  EXPECT_EQ(RecordedChoice(std::string(kInstallRoot) + "Install.ini"), fewer);
}

// The settings file lies in the product folder (C:\VELMORA\SORANA\ is both
// the settings folder and the install root). The first update reorganises that
// folder; the user's proxy must still be there at the next start. The proxy,
// like many, answers one request per connection and closes it a moment later
// without saying so: every one of the phase's files still arrives.
TEST(EndToEndTest, ProxySettingSurvivesTheFirstUpdate) {
  UpdateScenario scenario({.installed = tools::VersionParts{2, 4, 0, 0}, .standards = AllStandards()});
  scenario.Server().SetCloseAfterResponse(std::chrono::milliseconds(50));
  const std::string settings = "PROXYIP=127.0.0.1\r\nPROXYPORT=" + std::to_string(scenario.Server().Port()) +
                               "\r\nPATH=C:\\VELMORA\\SORANA\\\r\nVER=2.4.0\r\n";
  WriteHostFile(scenario.Product("VMSORANA.INI"), settings);
  {
    FormSession session;
    session.StartAndUpdate();
    ASSERT_EQ(session.Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});
  }
  ExpectFilesInstalled(scenario, ExpectedPhaseFiles(false, AllStandards()));
  // Every request went through the configured proxy (absolute form), each on
  // a connection of its own.
  const std::vector<test::HttpRequest> requests = scenario.Server().Requests();
  EXPECT_EQ(requests.size(), catalogue::BuildFileList(false, AllStandards()).size());
  EXPECT_EQ(scenario.Server().ConnectionCount(), static_cast<int>(requests.size()));
  for (const test::HttpRequest& request : requests) {
    EXPECT_TRUE(request.target.starts_with("http://")) << request.target;
  }
  EXPECT_EQ(ReadHostFile(scenario.Product("VMSORANA.INI")), settings);
  FormSession again;
  ASSERT_TRUE(again.Start());
  EXPECT_EQ(again.form.State().ProxyIP, "127.0.0.1");
  EXPECT_EQ(again.form.State().ProxyPortNo, scenario.Server().Port());
}

}  // namespace
}  // namespace sorana::e2e
