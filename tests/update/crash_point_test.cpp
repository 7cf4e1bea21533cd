// The update stopped dead and started again: at chosen file changes (the
// crash points of platform/crash_point.h) and by real SIGKILLs at timed
// moments, on a first installation (layout conversion and both phases) and on
// one an earlier update left (the new-version phase over older plug-ins). The
// next run must complete and leave exactly the tree an uninterrupted run
// leaves: the install root and both download folders, names, kinds and bytes.
#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <numeric>
#include <set>
#include <thread>

#include "e2e/installed_tree.h"
#include "e2e/update_scenario.h"
#include "platform/crash_point.h"
#include "platform/folders.h"
#include "platform/windows_system.h"
#include "tools/prefix_writer.h"
#include "tools/site_builder.h"
#include "tools/site_server.h"
#include "update/crash_machine.h"

namespace sorana::update::crash {
namespace {

using Clock = std::chrono::steady_clock;

// Stops per installation, beyond the SIGKILLs; together they take a few
// minutes. SORANA_CRASH_EVERY_POINT=1 stops at every point (an hour or so).
constexpr size_t kFirstStops = 90;
constexpr size_t kLaterStops = 50;
// The SIGKILLs, as parts of the uninterrupted run's duration.
constexpr double kFirstKills[] = {0.2, 0.45, 0.7};
constexpr double kLaterKills[] = {0.3, 0.65};

struct Installation {
  Installation(std::string n, fs::path m) : name(std::move(n)), machine(std::move(m)) {}
  std::string name;
  fs::path machine;               // as prepared; every run works on a copy
  Tree reference;                 // what the uninterrupted run left
  std::vector<TracePoint> trace;  // the points it passed
  double seconds = 0;             // how long it ran
};

// One stop: at a crash point, or (point 0) a SIGKILL after `killAfter` seconds.
struct Stop {
  const Installation* installation = nullptr;
  uint64_t point = 0;
  double killAfter = 0;
};

struct Outcome {
  std::string stage;    // what the stopped run left
  std::string failure;  // empty when the next run completed as the reference did
  bool ranOut = false;  // a killed run that had ended, or completed, before the kill
};

// An older release's plug-in, which the update must keep as its backup, byte for byte.
std::string OlderPlugIn(const std::string& name) { return "plug-in " + name + " of an earlier update\r\n"; }
constexpr const char* kDroppedBackup = "DROPPED200001.BAK";

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// Where to stop: the first and the last point, every change of the record and
// the points on both sides of it, the first and the last point of each caller
// between two changes of the record, and an even spread up to `budget`.
std::vector<uint64_t> ChoosePoints(const std::vector<TracePoint>& trace, size_t budget) {
  const uint64_t total = trace.size();
  std::set<uint64_t> chosen{1, total};
  std::map<std::pair<int, std::string>, std::pair<uint64_t, uint64_t>> spans;
  int segment = 0;
  for (const TracePoint& point : trace) {
    if (point.recordChange) {
      for (uint64_t near : {point.number - 1, point.number, point.number + 1}) {
        if (near >= 1 && near <= total) chosen.insert(near);
      }
      ++segment;
      continue;
    }
    auto [span, fresh] = spans.try_emplace({segment, point.where}, point.number, point.number);
    span->second.second = point.number;
  }
  for (const auto& [caller, span] : spans) chosen.insert({span.first, span.second});
  const size_t spread = budget > chosen.size() ? budget - chosen.size() : 0;
  for (size_t i = 1; i <= spread; ++i) chosen.insert(1 + (total - 1) * i / (spread + 1));
  return {chosen.begin(), chosen.end()};
}

std::string RunnerLog(const fs::path& machine) {
  std::string log = e2e::ReadHostFile(machine / "runner.log").value_or("");
  return log.size() > 1500 ? "..." + log.substr(log.size() - 1500) : log;
}

class CrashPointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sorana-crash-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    suite_ = pattern;
    tools::BuildSite(suite_ / "site", tools::Scale::Small);
    server_ = std::make_unique<tools::SiteServer>(
        tools::ServeOptions{.root = suite_ / "site", .port = 0, .logRequests = false});
    server_->Start();
  }

  void TearDown() override {
    if (server_) server_->Stop();
    if (!suite_.empty()) RemoveTree(suite_);
  }

  // The install root and the download folders, as the updater finds them on the machine.
  void FindFolders(const fs::path& machine) {
    const char* tmpdir = std::getenv("TMPDIR");
    const std::optional<std::string> saved = tmpdir ? std::optional<std::string>(tmpdir) : std::nullopt;
    setenv("TMPDIR", (machine / "tmp").c_str(), 1);
    const platform::WindowsSystem prefix(machine / "prefix");
    platform::SetActiveSystem(prefix);
    const std::string temp = platform::GetTempFolder();
    for (const std::string& folder :
         {std::string(tools::kProductFolder), temp + "SorOldUp", temp + "SorNewUp"}) {
      folders_.push_back(fs::weakly_canonical(prefix.ToHost(folder).value())
                             .lexically_relative(fs::weakly_canonical(machine)));
      ASSERT_FALSE(folders_.back().empty() || *folders_.back().begin() == "..") << folder;
    }
    saved ? setenv("TMPDIR", saved->c_str(), 1) : unsetenv("TMPDIR");
  }

  // The uninterrupted run on a copy, kept as reference-<name>.
  void RunReference(Installation& installation) {
    const fs::path copy = suite_ / ("reference-" + installation.name);
    CopyMachine(installation.machine, copy);
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(RunRunner(copy, {server_->Url(), true, 0, true}), 0) << RunnerLog(copy);
    installation.seconds = Seconds(Clock::now() - start);
    EndWine(copy);
    installation.reference = Snapshot(copy, folders_);
    installation.trace = ReadTrace(copy);
    ASSERT_EQ(installation.trace.size(), PointsCounted(copy));
    for (size_t i = 0; i < installation.trace.size(); ++i) ASSERT_EQ(installation.trace[i].number, i + 1);
    // Without the runner's own function names the choice below would miss the record's changes.
    ASSERT_TRUE(std::any_of(installation.trace.begin(), installation.trace.end(),
                            [](const TracePoint& point) { return point.recordChange; }))
        << "the trace names no change of the run's record";
  }

  Outcome RunStop(const Stop& stop, const fs::path& folder) const {
    const Installation& installation = *stop.installation;
    Outcome outcome;
    CopyMachine(installation.machine, folder);
    if (stop.point != 0) {
      const int code = RunRunner(folder, {server_->Url(), true, stop.point, false});
      if (code != platform::kCrashExitCode) {
        outcome.failure = "the stopped run ended with " + std::to_string(code) + "\n" + RunnerLog(folder);
      }
    } else {
      const pid_t runner = StartRunner(folder, {server_->Url(), false, 0, false});
      std::this_thread::sleep_for(std::chrono::duration<double>(stop.killAfter));
      kill(runner, SIGKILL);
      const int code = WaitRunner(runner);
      outcome.ranOut = code == 0;
      if (code != 0 && code != 128 + SIGKILL) {
        outcome.failure =
            "the run to be killed ended with " + std::to_string(code) + "\n" + RunnerLog(folder);
      }
    }
    outcome.stage = Stage(folder / folders_[0]);
    if (!stop.point && outcome.stage.starts_with("no record") &&
        Snapshot(folder, folders_) == installation.reference) {
      outcome.ranOut = true;  // killed between the end of the run and the end of the process
    }
    if (outcome.failure.empty() && !outcome.ranOut) {
      if (const int code = RunRunner(folder, {server_->Url(), false, 0, false}); code != 0) {
        outcome.failure = "the next run ended with " + std::to_string(code) + "\n" + RunnerLog(folder);
      } else if (std::string diff = Difference(installation.reference, Snapshot(folder, folders_));
                 !diff.empty()) {
        outcome.failure = "the next run left another tree than the uninterrupted run:\n" + diff;
      }
    }
    EndWine(folder);
    RemoveTree(folder);
    return outcome;
  }

  // Every stop, two to four at a time.
  std::vector<Outcome> RunStops(const std::vector<Stop>& stops) const {
    std::vector<Outcome> outcomes(stops.size());
    std::atomic<size_t> next{0};
    auto work = [&] {
      for (size_t i = next++; i < stops.size(); i = next++) {
        try {
          outcomes[i] = RunStop(stops[i], suite_ / "stops" / std::to_string(i));
        } catch (const std::exception& error) {
          outcomes[i].failure = error.what();
        }
      }
    };
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < std::clamp(std::thread::hardware_concurrency(), 2u, 4u); ++i)
      workers.emplace_back(work);
    for (std::thread& worker : workers) worker.join();
    return outcomes;
  }

  fs::path suite_;
  std::unique_ptr<tools::SiteServer> server_;
  std::vector<fs::path> folders_;  // relative to a machine; the install root first
};

TEST_F(CrashPointTest, EveryStopIsRecoveredFrom) {
  const Clock::time_point start = Clock::now();

  // A first installation of v1.1.0.0 with every standard, in a copy of the
  // prefix Wine made for the test run where there is one (as the e2e scenarios do).
  Installation first{"first", suite_ / "first"};
  if (const char* wineBase = std::getenv("SORANA_TEST_WINE_PREFIX"); wineBase && fs::is_directory(wineBase)) {
    CopyPrefix(wineBase, first.machine / "prefix");
  }
  tools::WritePrefix({.root = first.machine / "prefix",
                      .installed = tools::VersionParts{1, 1, 0, 0},
                      .standards = e2e::AllStandards()});
  fs::create_directories(first.machine / "tmp");
  ASSERT_NO_FATAL_FAILURE(FindFolders(first.machine));
  ASSERT_NO_FATAL_FAILURE(RunReference(first));

  // What that update left, with older plug-ins in NEW_BIN and a backup of a dropped standard's.
  Installation later{"later", suite_ / "later"};
  CopyMachine(suite_ / "reference-first", later.machine);
  const fs::path plugins = later.machine / folders_[0] / "NEW_BIN" / "Plugin";
  const std::set<std::string> names = e2e::PluginNames(false, e2e::AllStandards());
  for (const std::string& name : names) {
    ASSERT_TRUE(fs::is_regular_file(plugins / name)) << name;
    e2e::WriteHostFile(plugins / name, OlderPlugIn(name));
  }
  e2e::WriteHostFile(plugins / kDroppedBackup, "a backup of a dropped standard's plug-in\r\n");
  ASSERT_NO_FATAL_FAILURE(RunReference(later));
  const fs::path laterPlugins = suite_ / "reference-later" / folders_[0] / "NEW_BIN" / "Plugin";
  for (const std::string& name : names) {
    const std::string backup = fs::path(name).replace_extension(".BAK").string();
    EXPECT_EQ(e2e::ReadHostFile(laterPlugins / backup), OlderPlugIn(name)) << backup;
  }
  EXPECT_FALSE(fs::exists(laterPlugins / kDroppedBackup));

  std::vector<Stop> stops;
  for (const auto& [installation, budget] :
       {std::pair{&first, kFirstStops}, std::pair{&later, kLaterStops}}) {
    std::vector<uint64_t> points = ChoosePoints(installation->trace, budget);
    if (std::getenv("SORANA_CRASH_EVERY_POINT") != nullptr) {
      points.resize(installation->trace.size());
      std::iota(points.begin(), points.end(), 1);
    }
    for (uint64_t point : points) stops.push_back({installation, point});
  }
  for (double part : kFirstKills) stops.push_back({&first, 0, part * first.seconds});
  for (double part : kLaterKills) stops.push_back({&later, 0, part * later.seconds});
  const std::vector<Outcome> outcomes = RunStops(stops);

  std::map<std::string, int> kinds, stages, points;
  std::string kills, failed;
  int failures = 0;
  for (size_t i = 0; i < stops.size(); ++i) {
    const Stop& stop = stops[i];
    const Outcome& outcome = outcomes[i];
    std::string what = stop.installation->name + ", SIGKILL after " + std::to_string(stop.killAfter) + " s";
    if (stop.point != 0) {
      const TracePoint& point = stop.installation->trace[stop.point - 1];
      const std::string kind = point.recordChange ? "record change" : point.where.empty() ? "?" : point.where;
      ++kinds[kind];
      ++stages[outcome.stage];
      ++points[stop.installation->name];
      what = stop.installation->name + ", point " + std::to_string(stop.point) + " (" + kind + ")";
    } else {
      kills += (kills.empty() ? "" : ", ") + (outcome.ranOut ? "after the run" : outcome.stage);
    }
    if (outcome.failure.empty()) continue;
    failed += (failed.empty() ? "" : ", ") + what;
    if (++failures <= 12)
      ADD_FAILURE() << what << ", stopped at \"" << outcome.stage << "\": " << outcome.failure;
  }
  auto list = [](const std::map<std::string, int>& counts) {
    std::string text;
    for (const auto& [name, count] : counts)
      text += (text.empty() ? "" : ", ") + name + " " + std::to_string(count);
    return text;
  };
  std::printf(
      "crash points: covered %d of %zu (first %d of %zu, later %d of %zu); kinds: %s; stages: %s; "
      "SIGKILLs at: %s; %d failed; %.0f s\n",
      points["first"] + points["later"], first.trace.size() + later.trace.size(), points["first"],
      first.trace.size(), points["later"], later.trace.size(), list(kinds).c_str(), list(stages).c_str(),
      kills.c_str(), failures, Seconds(Clock::now() - start));
  EXPECT_EQ(failures, 0) << failed;
}

}  // namespace
}  // namespace sorana::update::crash
