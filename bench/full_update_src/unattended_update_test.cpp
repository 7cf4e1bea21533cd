// The unattended update on real parts: a small update site built by the
// update-site tool, served over loopback HTTP, installed over a prefix of
// v1.1.0.0. A benchmark that timed a failed run as a finished one would
// report nonsense, so the failures matter as much as the success.
#include "unattended_update.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "archive/lhactrls.h"
#include "platform/version_info.h"
#include "platform/win_path.h"
#include "tools/prefix_writer.h"
#include "tools/site_builder.h"
#include "tools/site_server.h"

namespace fs = std::filesystem;

namespace sorana::bench {
namespace {

class UnattendedUpdateTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string pattern = (fs::temp_directory_path() / "sorana-unattended-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    suiteRoot_ = new fs::path(pattern);
    tools::BuildSite(*suiteRoot_ / "site", tools::Scale::Small);
    archive::LoadLhaLibrary();
  }

  static void TearDownTestSuite() {
    archive::UnloadLhaLibrary();
    std::error_code ignored;
    fs::remove_all(*suiteRoot_, ignored);
    delete suiteRoot_;
    suiteRoot_ = nullptr;
  }

  void SetUp() override {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = *suiteRoot_ / test->name();
    fs::create_directories(root_ / "tmp");
    // The downloads go below a temporary folder of the test's own.
    ASSERT_EQ(setenv("TMPDIR", (root_ / "tmp").c_str(), 1), 0);
    server_ = std::make_unique<tools::SiteServer>(
        tools::ServeOptions{.root = *suiteRoot_ / "site", .port = 0, .logRequests = false});
    server_->Start();
    ASSERT_EQ(setenv("SORANA_UPDATE_SERVER", server_->Url().c_str(), 1), 0);
  }

  void TearDown() override {
    if (server_) server_->Stop();
    unsetenv("SORANA_UPDATE_SERVER");
    unsetenv("TMPDIR");
    unsetenv("WINEPREFIX");
  }

  void WritePrefix(std::optional<tools::VersionParts> installed, bool allStandards = true) {
    tools::PrefixOptions options{.root = root_ / "prefix", .installed = installed};
    options.standards.fill(allStandards);
    tools::WritePrefix(options);
    // The archive library resolves paths on its own, from WINEPREFIX.
    ASSERT_EQ(setenv("WINEPREFIX", (root_ / "prefix").c_str(), 1), 0);
    platform::SetActivePrefix(platform::WinePrefix(root_ / "prefix"));
  }

  static bool ShowedBox(const UpdateOutcome& outcome, app::BoxKind kind) {
    return std::any_of(outcome.boxes.begin(), outcome.boxes.end(),
                       [kind](const ShownBox& box) { return box.kind == kind; });
  }

  static fs::path* suiteRoot_;
  fs::path root_;
  std::unique_ptr<tools::SiteServer> server_;
};

fs::path* UnattendedUpdateTest::suiteRoot_ = nullptr;

TEST_F(UnattendedUpdateTest, BringsAnOldInstallationThroughBothPhases) {
  WritePrefix(tools::VersionParts{1, 1, 0, 0});
  UpdateOutcome outcome = RunUnattendedUpdate();
  ASSERT_TRUE(outcome.completed) << Describe(outcome);
  EXPECT_TRUE(outcome.failure.empty());
  EXPECT_FALSE(ShowedBox(outcome, app::BoxKind::Error)) << Describe(outcome);
  EXPECT_EQ(platform::GetFileVersionText("C:\\VELMORA\\SORANA\\NEW_BIN\\FOTODESK.EXE"), "v2.4.1.0");
  EXPECT_EQ(platform::GetFileVersionText("C:\\VELMORA\\SORANA\\FOTODESK.EXE"), "v2.4.1.0");
  // The recorded choice is written when the window closes, so the close was delivered.
  EXPECT_TRUE(fs::exists(root_ / "prefix/drive_c/VELMORA/SORANA/NEW_BIN/Install.ini"));
}

TEST_F(UnattendedUpdateTest, FailedRunsNeverReadAsCompleted) {
  {
    SCOPED_TRACE("the server is gone before the first file");
    WritePrefix(tools::VersionParts{1, 1, 0, 0});
    server_->Stop();
    server_.reset();
    UpdateOutcome outcome = RunUnattendedUpdate();
    EXPECT_FALSE(outcome.completed);
    EXPECT_TRUE(ShowedBox(outcome, app::BoxKind::Error)) << Describe(outcome);
    EXPECT_NE(Describe(outcome).find("did not complete"), std::string::npos);
  }
  {
    SCOPED_TRACE("no product installed");
    fs::remove_all(root_ / "prefix");
    WritePrefix(std::nullopt);
    UpdateOutcome outcome = RunUnattendedUpdate();
    EXPECT_FALSE(outcome.completed);
    EXPECT_FALSE(outcome.failure.empty());
  }
  {
    SCOPED_TRACE("no standard chosen");
    fs::remove_all(root_ / "prefix");
    WritePrefix(tools::VersionParts{2, 0, 0, 0}, false);
    UpdateOutcome outcome = RunUnattendedUpdate();
    EXPECT_FALSE(outcome.completed) << Describe(outcome);
    EXPECT_TRUE(ShowedBox(outcome, app::BoxKind::Information));
  }
}

}  // namespace
}  // namespace sorana::bench
