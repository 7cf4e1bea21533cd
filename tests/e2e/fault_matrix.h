// The fault matrix: each test injects one fault into a whole update and
// describes it in one row (fault, outcome); the rows are printed as one table
// when the run ends, with whether each test passed.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "e2e/form_session.h"
#include "e2e/update_scenario.h"

namespace sorana::e2e {

class FaultMatrixTest : public ::testing::Test {
 protected:
  // By default a user on a later update: the two-folder layout in place, an
  // installed v2.4.0.0 (only the new-version phase runs), two standards chosen.
  // Takes the snapshot of the user's files.
  void Prepare(ScenarioOptions options = {.installed = tools::VersionParts{2, 4, 0, 0},
                                          .standards = Standards({0, 7})},
               bool twoFolders = true);
  void TearDown() override;

  // The row of this test.
  void Row(std::string fault, std::string outcome);

  // The files the user owns are byte for byte as before the update.
  void ExpectUserFilesUnchanged() const;
  // Install.ini in the install root still records the choice of standards.
  void ExpectRecordIntact() const;
  // Nothing of the new-version phase was installed.
  void ExpectPhaseUntouched() const;
  // The standards the scenario chose.
  catalogue::StandardChoice Chosen() const { return chosen_; }

  std::unique_ptr<UpdateScenario> scenario_;
  std::map<std::filesystem::path, std::string> userFiles_;
  catalogue::StandardChoice chosen_{};

 private:
  std::string fault_;
  std::string outcome_;
};

// Adds a named row for tests outside the fixture.
void AddMatrixRow(const std::string& fault, const std::string& outcome, bool passed);

}  // namespace sorana::e2e
