// The built site: every catalogue file in its place and its real format, and
// each one expanding back, through the installation's own code, to what the
// installation needs.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <span>

#include "catalogue/catalogue.h"
#include "formats/profile_text.h"
#include "formats/version_resource.h"
#include "install/expanded_name.h"
#include "install/merge_help.h"
#include "install/szdd_expand.h"
#include "platform/profile.h"
#include "platform/version_info.h"
#include "site_test_support.h"
#include "support/fake_window.h"
#include "support/temp_prefix.h"
#include "tools/site_builder.h"
#include "tools/site_components.h"
#include "unlha32/destination.h"
#include "unlha32/extract.h"

namespace sorana::test {
namespace {

namespace fs = std::filesystem;
using tools::Scale;

std::string Read(const fs::path& path) { return TempPrefix::ReadFile(path); }

std::string VersionOf(const std::string& image) {
  return formats::VersionTextFromImage(
      std::span(reinterpret_cast<const uint8_t*>(image.data()), image.size()));
}

class BuiltSite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new ScratchFolder();
    SiteRun run = RunSiteCommand({"build", Site().string(), "--scale", "small"});
    ASSERT_EQ(run.status, 0) << run.err;
  }
  static void TearDownTestSuite() {
    delete scratch_;
    scratch_ = nullptr;
  }
  static fs::path Site() { return scratch_->Path() / "site"; }
  static fs::path Served(bool oldPhase, const std::string& name) {
    return tools::SitePath(Site(), oldPhase, name);
  }

  // The file as the installation's expansion step turns it out.
  std::string Expand(bool oldPhase, const std::string& name) {
    fs::path target = scratch_->Path() / ("expanded-" + std::to_string(counter_++));
    platform::Result<install::ExpandOutcome> result = install::ExpandFile(Served(oldPhase, name), target);
    EXPECT_TRUE(result.has_value()) << name << ": " << result.error().Text();
    EXPECT_EQ(result.value_or(install::ExpandOutcome::Copied), install::ExpandOutcome::Expanded)
        << name << " is not SZDD";
    return result ? Read(target) : std::string();
  }

  static ScratchFolder* scratch_;
  int counter_ = 0;
};

ScratchFolder* BuiltSite::scratch_ = nullptr;

TEST_F(BuiltSite, HoldsExactlyTheCatalogueFilesOfBothPhases) {
  catalogue::StandardChoice all;
  all.fill(true);
  std::set<fs::path> expected;
  for (bool oldPhase : {true, false}) {
    for (const std::string& name : catalogue::BuildFileList(oldPhase, all)) {
      fs::path file = Served(oldPhase, name);
      EXPECT_TRUE(fs::is_regular_file(file)) << file;
      EXPECT_GT(fs::file_size(file), 0u) << file;
      expected.insert(file);
    }
  }
  std::set<fs::path> found;
  for (const auto& entry : fs::recursive_directory_iterator(Site())) {
    if (entry.is_regular_file()) found.insert(entry.path());
  }
  EXPECT_EQ(found, expected);  // nothing else, no temporary files left behind
}

TEST_F(BuiltSite, ProgramFilesExpandToProgramsOfThePhaseVersion) {
  for (bool oldPhase : {true, false}) {
    for (const catalogue::ProgramRow& row : catalogue::ProgramRows(oldPhase)) {
      const bool main = row.role == catalogue::Role::MainProgram || row.role == catalogue::Role::ProgramAbove;
      if (!main && row.role != catalogue::Role::Program && row.role != catalogue::Role::Library) continue;
      std::string version = VersionOf(Expand(oldPhase, std::string(row.name)));
      // The launcher becomes FOTODESK.EXE one folder up: it carries the phase's version too.
      EXPECT_EQ(version.empty(), false) << row.name;
      EXPECT_TRUE(!main || version == (oldPhase ? "v1.2.9.0" : "v2.4.1.0")) << row.name << " " << version;
    }
  }
}

TEST_F(BuiltSite, SettingsAndTemplateFilesExpandToTheirText) {
  std::string newSettings = Expand(false, std::string(catalogue::NewProgramRows[11].name));
  bool found = false;
  EXPECT_EQ(formats::ProfileLookup(newSettings, "MediaLabelPrintSet", "SettingNameCount", &found), "3");
  EXPECT_TRUE(found);
  // The old settings file lacks the key, so the new one replaces it later.
  formats::ProfileLookup(Expand(true, std::string(catalogue::OldProgramRows[8].name)), "MediaLabelPrintSet",
                         "SettingNameCount", &found);
  EXPECT_FALSE(found);
  for (const catalogue::ProgramRow& row : catalogue::ProgramRows(false)) {
    if (row.role != catalogue::Role::Template) continue;
    std::string name(row.name);
    std::string text = Expand(false, name);
    EXPECT_EQ(text, tools::ComponentPayload(false, name, true, Scale::Small)) << name;
    EXPECT_TRUE(text.ends_with("\r\n")) << name;
  }
}

TEST_F(BuiltSite, PlugInsExpandAndDifferBetweenPhases) {
  // A name in both phases is a different file in each.
  std::string oldFile = Expand(true, "JHS200404.SP_");
  std::string newFile = Expand(false, "JHS200404.SP_");
  EXPECT_NE(oldFile, newFile);
  EXPECT_TRUE(oldFile.starts_with("MZ"));
  EXPECT_EQ(Expand(false, "eh0803quality.xl_").substr(0, 4), std::string("\xD0\xCF\x11\xE0", 4));
  EXPECT_EQ(Expand(false, "京都府21年8月納品書.DO_"),
            tools::ComponentPayload(false, "京都府21年8月納品書.DO_", false, Scale::Small));
}

TEST_F(BuiltSite, ArchivesExtractWithTheirFolders) {
  struct Case {
    bool oldPhase;
    std::string name;
    std::vector<std::string> files;  // host paths below the extraction folder
  };
  const std::vector<Case> cases = {
      {true, "CORINS0.lzh", {"corins0.0/CORINS.DAT", "corins0.0/CORINS.DTD", "corins0.0/DATA/KOJI.DAT"}},
      {false, "CORINS5.lzh", {"corins5.0/CORINS.DAT"}},
      {false, "CORINS6.lzh", {"corins6.0/DATA/KOJI.DAT"}},
      {true, "ヘルプ.lzh", {"ヘルプ/index.htm", "ヘルプ/操作/download.htm", "ヘルプ/images/logo.gif"}},
  };
  for (const Case& c : cases) {
    fs::path folder = scratch_->Path() / ("lha-" + std::to_string(counter_++));
    unlha32::Destination destination = unlha32::Destination::OnHost(folder);
    ASSERT_EQ(destination.Prepare().code, 0);
    unlha32::ExtractOutcome outcome = unlha32::ExtractArchiveFile(Served(c.oldPhase, c.name), destination);
    ASSERT_EQ(outcome.code, 0) << c.name << ": " << outcome.message;
    for (const std::string& file : c.files)
      EXPECT_TRUE(fs::is_regular_file(folder / file)) << c.name << " " << file;
    for (const tools::ArchiveMember& member : tools::ArchiveMembers(c.oldPhase, c.name, Scale::Small)) {
      std::string host = member.path;
      std::replace(host.begin(), host.end(), '\\', '/');
      if (!member.folder) {
        EXPECT_EQ(Read(folder / host), member.bytes) << member.path;
      }
    }
  }
}

TEST_F(BuiltSite, HelpBundleMergesIntoTheHelpFolder) {
  TempPrefix prefix;
  std::string bundle = Expand(false, "MERGEHELP.IN_");
  TempPrefix::WriteFile(prefix.HostC("C:\\down\\MERGEHELP.INI"), bundle);
  FakeWindow window;
  ASSERT_TRUE(install::MergeHelp("C:\\down\\MERGEHELP.INI", "C:\\app\\ヘルプ", window));
  std::vector<tools::HelpFile> files = tools::HelpBundleFiles(Scale::Small);
  bool text = false;
  bool binary = false;
  for (const tools::HelpFile& file : files) {
    EXPECT_EQ(Read(prefix.HostC("C:\\app\\ヘルプ\\" + file.path)), file.bytes) << file.path;
    (tools::IsHelpTextFile(file.path) ? text : binary) = true;
  }
  EXPECT_TRUE(text && binary);
}

TEST(SiteScale, RealisticPlugInsAreLargeAndCompress) {
  // One criteria file and one photo file of the realistic scale.
  for (std::string name : {"KOKDO202003.SP_", "PHOTO202003.SP_"}) {
    std::string payload = tools::ComponentPayload(false, name, false, Scale::Realistic);
    std::string served = tools::ServedBytes(false, name, false, Scale::Realistic);
    EXPECT_GE(payload.size(), 100u * 1024) << name;
    EXPECT_LE(payload.size(), 4u * 1024 * 1024) << name;
    EXPECT_LT(served.size(), payload.size() * 9 / 10) << name;
    EXPECT_GT(served.size(), payload.size() / 5) << name;
  }
}

}  // namespace
}  // namespace sorana::test
