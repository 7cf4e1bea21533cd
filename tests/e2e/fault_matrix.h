// The fault matrix: a table of rows, each one fault injected into a whole
// update on its own copy of the run's prefix, the user's attempt, and what
// must be seen afterwards. One parameterised test runs every row; the table
// printed at the end says for each row whether it passed.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "e2e/canned_tcp_server.h"
#include "e2e/form_session.h"
#include "e2e/update_scenario.h"
#include "signing/minisign.h"

namespace sorana::e2e {

class FaultMatrix;
constexpr size_t kPluginPosition = 50;  // a plug-in among the chosen standards' rows
using FaultStep = std::function<void(FaultMatrix&)>;

// The plug-in at kPluginPosition served with `fault` (a trickle: `trickleStep` bytes every 20 ms).
FaultStep ServerFault(test::HttpFault fault, size_t trickleStep = 0);
// Start, then a click on the start-update button.
void ClickUpdate(FaultMatrix& m);

struct FaultRow {
  std::string name;            // the test's name: letters and digits
  std::string fault;           // what goes wrong, as the table shows it
  std::string outcome;         // what must be seen, as the table shows it
  FaultStep inject = nullptr;  // sets the fault up on the prepared machine
  FaultStep attempt = ClickUpdate;
  std::vector<FaultStep> seen;  // every check runs, even after one has failed
  // By default a user on a later update: the two-folder layout in place, an
  // installed v2.4.0.0 (only the new-version phase runs), two standards chosen.
  bool twoFolders = true;
};

// The rows, in the order of the table.
std::vector<FaultRow> NetworkRows();
std::vector<FaultRow> InstallRows();
std::vector<FaultRow> ProcessRows();
std::vector<FaultRow> SigningRows();

class FaultMatrix : public ::testing::TestWithParam<FaultRow> {
 public:
  void SetUp() override;

  // In the order they are made: what a row adds goes before the machine is removed.
  std::unique_ptr<UpdateScenario> scenario;
  catalogue::StandardChoice chosen{};
  std::vector<std::string> list;  // the new-version phase's files
  std::map<std::filesystem::path, std::string> userFiles;
  std::unique_ptr<FormSession> session;       // the window of the latest attempt
  FaultStep clear;                            // takes the fault away for the next attempt
  std::unique_ptr<CannedTcpServer> listener;  // what answers in place of a proxy
  int proxyPort = 0;
  std::shared_ptr<void> held;                 // a mount, released first
  std::optional<signing::SecretKey> siteKey;  // the key the site is signed with, the updater holding it
};

// Checks shared by the tables.
void ExpectUserFilesUnchanged(FaultMatrix& m);
// Install.ini in the install root still records the choice of standards.
void ExpectRecordIntact(FaultMatrix& m);
// Nothing of the new-version phase was installed.
void ExpectPhaseUntouched(FaultMatrix& m);
// With the fault taken away the next click (or the next start) installs the phase.
FaultStep NextAttemptInstalls(bool freshStart);

}  // namespace sorana::e2e
