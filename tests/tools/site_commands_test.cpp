// The list and version commands and the command-line readers.
#include <gtest/gtest.h>

#include <sstream>

#include "catalogue/catalogue.h"
#include "update/update_server.h"
#include "site_test_support.h"
#include "support/pe_writer.h"
#include "support/temp_prefix.h"
#include "tools/command_line.h"

namespace sorana::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> CatalogueUrls(bool oldPhase, const catalogue::StandardChoice& choice) {
  std::vector<std::string> urls;
  for (const std::string& name : catalogue::BuildFileList(oldPhase, choice)) {
    urls.push_back(update::ComponentUrl("", oldPhase, name));
  }
  return urls;
}

TEST(ListCommand, MatchesTheCatalogueInFetchOrder) {
  catalogue::StandardChoice all;
  all.fill(true);
  std::vector<std::string> both = CatalogueUrls(true, all);
  std::vector<std::string> newPhase = CatalogueUrls(false, all);
  both.insert(both.end(), newPhase.begin(), newPhase.end());
  SiteRun run = RunSiteCommand({"list"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.out), both);
  EXPECT_EQ(Lines(run.out)[23 + 71], "/sorana/20240410/FOTODESK.EX_");

  catalogue::StandardChoice some{};
  some[0] = some[1] = some[5] = true;
  run = RunSiteCommand({"list", "--phase", "new", "--standards", "0,1,5"});
  EXPECT_EQ(Lines(run.out), CatalogueUrls(false, some));
  EXPECT_EQ(Lines(RunSiteCommand({"list", "--phase=old", "--standards=none"}).out).size(), 23u);
  // Names outside ASCII are sent as percent-encoded UTF-8.
  EXPECT_NE(
      RunSiteCommand({"list", "--phase", "old"}).out.find("/sorana/v128/%E3%83%98%E3%83%AB%E3%83%97.lzh\n"),
      std::string::npos);
}

TEST(VersionCommand, PrintsTheVersionTextOrAnEmptyLine) {
  ScratchFolder scratch;
  auto file = scratch.Path() / "a.exe";
  TempPrefix::WriteFile(file, MakeProgramFile(1, 10, 0, 0));
  EXPECT_EQ(RunSiteCommand({"version", file.string()}).out, "v1.10.0.0\n");
  TempPrefix::WriteFile(file, MakeProgramFileWithoutVersion());
  EXPECT_EQ(RunSiteCommand({"version", file.string()}).out, "\n");
  SiteRun missing = RunSiteCommand({"version", (scratch.Path() / "none.exe").string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(Lines(missing.err).size(), 1u);
}

TEST(CommandErrors, AreOneLineWithAStatus) {
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const std::vector<Case> cases = {
      {{}, 2},
      {{"frobnicate"}, 2},
      {{"build"}, 2},
      {{"build", "a", "b"}, 2},
      {{"build", "a", "--scale", "huge"}, 2},
      {{"list", "--phase"}, 2},
      {{"list", "--standards", "0,,1"}, 2},
      {{"serve", "/nonexistent-site-folder", "--port", "0"}, 1},
      {{"serve", ".", "--port", "70000"}, 2},
      {{"prefix", "x", "--installed", "1.2.3.4.5"}, 2},
  };
  for (const Case& c : cases) {
    SiteRun run = RunSiteCommand(c.args);
    EXPECT_EQ(run.status, c.status) << ::testing::PrintToString(c.args);
    if (!c.args.empty()) {
      EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    }
  }
}

TEST(CommandLineValues, StandardsAndVersions) {
  catalogue::StandardChoice choice = tools::ParseStandards("0,1,21");
  for (size_t i = 0; i < choice.size(); ++i) EXPECT_EQ(choice[i], i == 0 || i == 1 || i == 21) << i;
  for (bool checked : tools::ParseStandards("all")) EXPECT_TRUE(checked);
  for (bool checked : tools::ParseStandards("none")) EXPECT_FALSE(checked);
  for (std::string bad : {"22", "-1", "1,", "", "a", "1 ,2"}) {
    EXPECT_THROW(tools::ParseStandards(bad), tools::UsageError) << bad;
  }
  EXPECT_EQ(tools::ParseVersion("v1.1.0.0"), (tools::VersionParts{1, 1, 0, 0}));
  EXPECT_EQ(tools::ParseVersion("2.4"), (tools::VersionParts{2, 4, 0, 0}));
  for (std::string bad : {"1.2.3.4.5", "1.65536", "v", "1..2", "x"}) {
    EXPECT_THROW(tools::ParseVersion(bad), tools::UsageError) << bad;
  }
}

}  // namespace
}  // namespace sorana::test
