// Prefixes written by the tool, as the updater's own start-up and the inspect
// command find them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "app/form_lifecycle.h"
#include "catalogue/catalogue.h"
#include "platform/registry.h"
#include "platform/windows_system.h"
#include "site_test_support.h"
#include "support/fake_window.h"
#include "support/temp_prefix.h"
#include "tools/inspect_report.h"

namespace sorana::test {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file() && !entry.is_symlink()) {
      files[entry.path().string()] = TempPrefix::ReadFile(entry.path());
    }
  }
  return files;
}

class WrittenPrefix : public ::testing::Test {
 protected:
  fs::path Write(const std::vector<std::string>& options) {
    fs::path root = scratch_.Path() / ("prefix" + std::to_string(count_++));
    std::vector<std::string> args = {"prefix", root.string(), "--wine", "no"};
    args.insert(args.end(), options.begin(), options.end());
    SiteRun run = RunSiteCommand(args);
    EXPECT_EQ(run.status, 0) << run.err;
    platform::SetActiveSystem(platform::WindowsSystem(root));
    return root;
  }
  ScratchFolder scratch_;
  int count_ = 0;
};

TEST_F(WrittenPrefix, UpdaterStartUpFindsTheInstallation) {
  fs::path root = Write({"--installed", "1.1.0.0", "--standards", "0,1,5"});
  form::FormState state;
  FakeWindow window;
  ASSERT_TRUE(app::FormLifecycle(state, window).FormCreate());
  EXPECT_EQ(state.InstallRoot, "C:\\VELMORA\\SORANA\\");
  EXPECT_EQ(state.NowVersion, "v1.1.0.0");
  EXPECT_EQ(state.InitFileName, "C:\\VELMORA\\SORANA\\VMSORANA.INI");
  // One folder, no NEW_BIN for the staging record yet: every standard starts checked.
  for (int i = 0; i < catalogue::kStandardCount; ++i) EXPECT_TRUE(window.IsChecked(i)) << i;

  // An old installation holds the old data files of the chosen standards only.
  fs::path plugins = root / "drive_c" / "VELMORA" / "SORANA" / "plugin";
  EXPECT_TRUE(fs::exists(plugins / "KOKDO200108.SPI"));
  EXPECT_TRUE(fs::exists(plugins / "PHOTOHIRO200705.SPI"));
  EXPECT_FALSE(fs::exists(plugins / "EHIM200503.SPI"));
  EXPECT_FALSE(fs::exists(plugins / "KOKDO202003.SPI"));
  EXPECT_TRUE(fs::exists(root / "drive_c" / "VELMORA" / "SORANA" / "PICVIEW" / "regsvr32.exe"));
  EXPECT_TRUE(
      fs::exists(root / "drive_c" / "VELMORA" / "SORANA" / "Template" / "14年度" / "KEN" / "LIST.TXT"));
}

TEST_F(WrittenPrefix, InspectReportsWhatTheStartUpSeesWithoutChangingIt) {
  fs::path root = Write({"--installed", "v2.4.1.0", "--arch", "win64", "--standards", "none"});
  std::map<std::string, std::string> before = Snapshot(root);
  tools::InspectReport report = tools::Inspect();
  EXPECT_EQ(Snapshot(root), before);

  EXPECT_EQ(report.settingsFile, "C:\\VELMORA\\SORANA\\VMSORANA.INI");
  EXPECT_TRUE(report.settingsReadable);
  EXPECT_EQ(report.settings.Path, "C:\\VELMORA\\SORANA\\");
  EXPECT_EQ(report.settings.ProxyPort, "0");
  EXPECT_NE(report.registryKey.find("Wow6432Node\\ヴェルモラ\\ソラナギ"), std::string::npos)
      << report.registryKey;
  EXPECT_EQ(report.exename.value_or(""), "C:\\VELMORA\\SORANA\\fotodesk.exe");
  EXPECT_EQ(report.installRoot, "C:\\VELMORA\\SORANA\\");
  EXPECT_EQ(report.nowVersion, "v2.4.1.0");
  EXPECT_TRUE(report.asksOverwrite);
  EXPECT_FALSE(report.runsOldPhase);
  // The record in the install root has no NEW_BIN to seed: all start checked.
  EXPECT_EQ(report.recordFile, "");
  for (bool checked : report.standards) EXPECT_TRUE(checked);

  std::string text = tools::FormatReport(report);
  EXPECT_NE(text.find("installed version: v2.4.1.0\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  PATH=C:\\VELMORA\\SORANA\\\n"), std::string::npos) << text;
}

TEST_F(WrittenPrefix, InspectFollowsAStagedLayoutAndTheRegistryFallback) {
  fs::path root = Write({"--installed", "1.1.0.0"});
  fs::path product = root / "drive_c" / "VELMORA" / "SORANA";
  // As after an update: the staging record rules, and a PATH into New_BIN is cut back.
  fs::create_directories(product / "OLD_BIN");
  fs::create_directories(product / "NEW_BIN");
  TempPrefix::WriteFile(product / "NEW_BIN" / "Install.ini", "[PULUGINLIST]\r\n");
  fs::remove(product / "VMSORANA.INI");
  tools::InspectReport report = tools::Inspect();
  EXPECT_FALSE(report.settingsFound);
  EXPECT_EQ(report.workFolderSource, "registry");
  EXPECT_EQ(report.installRoot, "C:\\VELMORA\\SORANA\\");
  EXPECT_TRUE(report.twoFolderLayout);
  EXPECT_EQ(report.recordFile, "C:\\VELMORA\\SORANA\\NEW_BIN\\Install.ini");
  for (bool checked : report.standards) EXPECT_FALSE(checked);
}

TEST_F(WrittenPrefix, WithoutTheProductThereIsNoInstallRoot) {
  Write({"--installed", "none"});
  EXPECT_FALSE(
      platform::RegistryKey::Open(platform::Hive::LocalMachine, "SOFTWARE\\ヴェルモラ\\ソラナギ", false));
  tools::InspectReport report = tools::Inspect();
  EXPECT_TRUE(report.installRoot.empty());
  EXPECT_FALSE(report.settingsFound);
  EXPECT_NE(tools::FormatReport(report).find("install root: none"), std::string::npos);
}

TEST_F(WrittenPrefix, InstallsOnlyIntoANewFolderOrAPrefixWithoutTheProduct) {
  fs::path root = scratch_.Path() / "taken";
  TempPrefix::WriteFile(root / "system.reg", "mine");
  SiteRun run = RunSiteCommand({"prefix", root.string(), "--installed", "1.1.0.0", "--wine", "no"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_EQ(TempPrefix::ReadFile(root / "system.reg"), "mine");

  // A prefix without the product (as wineboot leaves one) takes it once.
  fs::path bare = Write({"--installed", "none"});
  std::vector<std::string> install = {"prefix", bare.string(), "--installed", "1.1.0.0", "--wine", "no"};
  EXPECT_EQ(RunSiteCommand(install).status, 0);
  EXPECT_TRUE(fs::exists(bare / "drive_c" / "VELMORA" / "SORANA" / "fotodesk.exe"));
  EXPECT_EQ(RunSiteCommand(install).status, 1);
  EXPECT_EQ(RunSiteCommand({"prefix", (scratch_.Path() / "p").string()}).status, 2);  // no --installed
  EXPECT_EQ(RunSiteCommand({"inspect", "--prefix", (scratch_.Path() / "missing").string()}).status, 1);
}

}  // namespace
}  // namespace sorana::test
