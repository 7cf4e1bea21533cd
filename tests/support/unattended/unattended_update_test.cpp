// The unattended update on real parts: a small update site served over
// loopback HTTP, installed over a prefix of v1.1.0.0 (the e2e scenario).
// A benchmark that timed a failed run as a finished one would report
// nonsense, and the crash-point test relies on its exit code, so the failures
// matter as much as the success.
#include "unattended/unattended_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "archive/lhactrls.h"
#include "e2e/update_scenario.h"
#include "platform/version_info.h"

namespace sorana::unattended {
namespace {

class UnattendedUpdateTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { archive::LoadLhaLibrary(); }
  static void TearDownTestSuite() { archive::UnloadLhaLibrary(); }

  static bool ShowedBox(const UpdateOutcome& outcome, form::BoxKind kind) {
    return std::any_of(outcome.boxes.begin(), outcome.boxes.end(),
                       [kind](const test::ShownBox& box) { return box.kind == kind; });
  }
};

TEST_F(UnattendedUpdateTest, BringsAnOldInstallationThroughBothPhases) {
  e2e::UpdateScenario scenario({.standards = e2e::AllStandards()});
  UpdateOutcome outcome = RunUnattendedUpdate();
  ASSERT_TRUE(outcome.completed) << Describe(outcome);
  EXPECT_TRUE(outcome.failure.empty());
  EXPECT_FALSE(ShowedBox(outcome, form::BoxKind::Error)) << Describe(outcome);
  EXPECT_EQ(platform::GetFileVersionText("C:\\VELMORA\\SORANA\\NEW_BIN\\FOTODESK.EXE"), "v2.4.1.0");
  EXPECT_EQ(platform::GetFileVersionText("C:\\VELMORA\\SORANA\\FOTODESK.EXE"), "v2.4.1.0");
  // The recorded choice is written when the window closes, so the close was delivered.
  EXPECT_TRUE(std::filesystem::exists(scenario.Product("NEW_BIN\\Install.ini")));
}

TEST_F(UnattendedUpdateTest, FailedRunsNeverReadAsCompleted) {
  {
    SCOPED_TRACE("the server fails every file");
    e2e::UpdateScenario scenario({.standards = e2e::AllStandards()});
    scenario.Server().SetDefaultFault(test::HttpFault::ServerError);
    UpdateOutcome outcome = RunUnattendedUpdate();
    EXPECT_FALSE(outcome.completed);
    EXPECT_TRUE(ShowedBox(outcome, form::BoxKind::Error)) << Describe(outcome);
    EXPECT_NE(Describe(outcome).find("did not complete"), std::string::npos);
  }
  {
    SCOPED_TRACE("no product installed");
    e2e::UpdateScenario scenario({.installed = std::nullopt});
    UpdateOutcome outcome = RunUnattendedUpdate();
    EXPECT_FALSE(outcome.completed);
    EXPECT_FALSE(outcome.failure.empty());
  }
  {
    SCOPED_TRACE("no standard chosen");
    // The choice counts once an earlier update left NEW_BIN; before, every standard starts checked.
    e2e::UpdateScenario scenario({.installed = tools::VersionParts{2, 0, 0, 0}});
    scenario.UseTwoFolderLayout();
    UpdateOutcome outcome = RunUnattendedUpdate();
    EXPECT_FALSE(outcome.completed) << Describe(outcome);
    EXPECT_TRUE(ShowedBox(outcome, form::BoxKind::Information));
  }
}

}  // namespace
}  // namespace sorana::unattended
