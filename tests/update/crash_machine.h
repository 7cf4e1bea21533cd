// What the crash-point test works on: machines (a Wine prefix in <root>/prefix,
// the temporary folder in <root>/tmp) that are copied cheaply, runs of the
// unattended runner on them, the trace of the points a run passed, and the
// trees a run leaves behind.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace sorana::update::crash {

namespace fs = std::filesystem;

// Copies a prefix (or a machine: its prefix and tmp folders) to a new folder.
void CopyPrefix(const fs::path& from, const fs::path& to);
void CopyMachine(const fs::path& from, const fs::path& to);
void RemoveTree(const fs::path& root);

struct RunOptions {
  std::string server;        // SORANA_UPDATE_SERVER
  bool count = false;        // counts its points in <root>/points
  uint64_t crashAt = 0;      // and stops dead at this one (0: never)
  bool trace = false;        // and traces them to <root>/trace
};

// Starts the runner on the machine, its output appended to <root>/runner.log.
pid_t StartRunner(const fs::path& machine, const RunOptions& options);
// Its exit code, 128 + the signal that ended it, or -1 after five minutes (then killed).
int WaitRunner(pid_t pid);
int RunRunner(const fs::path& machine, const RunOptions& options);
// Ends the wineserver of the machine's prefix (with every Wine program of it), if one runs.
void EndWine(const fs::path& machine);
uint64_t PointsCounted(const fs::path& machine);

struct TracePoint {
  uint64_t number = 0;
  std::string where;          // the first caller above the host layer: "InstallSteps::Copy"
  bool recordChange = false;  // the run's record is written or removed here
};
std::vector<TracePoint> ReadTrace(const fs::path& machine);

// Names, kinds and contents below the given folders of a machine, by path
// relative to the machine (a missing folder counts as empty), and our
// temporary files in the prefix folder.
using Tree = std::map<std::string, std::string>;
Tree Snapshot(const fs::path& machine, const std::vector<fs::path>& folders);
// The first few paths that differ, one a line; empty when none do.
std::string Difference(const Tree& expected, const Tree& actual);

// How far the stopped run got, as its record and the layout tell it:
// "installing new backed-up", "converting", "no record, two folders"...
std::string Stage(const fs::path& installRoot);

}  // namespace sorana::update::crash
