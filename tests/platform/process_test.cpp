#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "download/scoped_env.h"
#include "platform/windows_system.h"
#include "support/pe_writer.h"
#include "support/temp_prefix.h"

extern char** environ;

namespace sorana::platform {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using test::TempPrefix;
using Clock = std::chrono::steady_clock;

// A stand-in that hangs as a crashed program did: it starts a "debugger" in a
// process group of its own that never ends, and waits for it.
constexpr std::string_view kHangsWithADebugger =
    "/usr/bin/perl -e 'setpgrp(0, 0); exec \"/bin/sleep\", \"600\"' &\n"
    "out=\"${0%/bin/wine}/out\"; printf '%s' $! > \"$out/child.new\"; /bin/mv \"$out/child.new\" "
    "\"$out/child\"\n"
    "wait\n";

ProcessWait Wait(std::function<void(int)> pump, std::function<bool()> keepWaiting = nullptr,
                 milliseconds bound = milliseconds::max()) {
  return {std::move(pump), std::move(keepWaiting), bound};
}

// Is the process there and not yet a zombie?
bool Alive(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string stat;
  if (pid.empty() || !std::getline(in, stat)) return false;
  const size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// A stand-in `wine`, the only one on PATH, that records its arguments, its
// environment and open descriptors, then runs `tail` (a little while by default).
class FakeWine {
 public:
  explicit FakeWine(const TempPrefix& prefix, std::string_view tail = "/bin/sleep 0.3\n")
      : bin_(prefix.Scratch() / "bin"), out_(prefix.Scratch() / "out") {
    fs::create_directories(bin_);
    fs::create_directories(out_);
    const std::string out = "\"" + out_.string();
    TempPrefix::WriteFile(bin_ / "wine",
                          "#!/bin/sh\n"
                          "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > " +
                              out +
                              "/args\"\n"
                              "printf '%s' \"$WINEPREFIX\" > " +
                              out +
                              "/prefix\"\n"
                              "printf '%s' \"$WINEDLLOVERRIDES\" > " +
                              out +
                              "/overrides\"\n"
                              "printf '%s' $$ > " +
                              out +
                              "/pid\"\n"
                              "/bin/ls /proc/$$/fd > " +
                              out + "/fds\"\n" + std::string(tail));
    fs::permissions(bin_ / "wine", fs::perms::owner_all);
    if (const char* old = std::getenv("PATH")) savedPath_ = old;
    // Nothing else on PATH: once removed, no wine is found, installed or not.
    setenv("PATH", bin_.c_str(), 1);
  }
  ~FakeWine() {
    setenv("PATH", savedPath_.c_str(), 1);
    // A "debugger" a failed case left running is ended here.
    if (fs::exists(out_ / "child") && Alive(Output("child"))) kill(std::stoi(Output("child")), SIGKILL);
  }
  void Remove() { fs::remove(bin_ / "wine"); }
  std::string Output(const char* name) const { return TempPrefix::ReadFile(out_ / name); }
  const fs::path& OutputFolder() const { return out_; }
  bool Ran() const { return fs::exists(out_ / "args"); }

 private:
  fs::path bin_;
  fs::path out_;
  std::string savedPath_;
};

struct CountingPump {
  int calls = 0;
  std::function<void(int)> Function() {
    return [this](int maxWaitMs) {
      ++calls;
      EXPECT_GT(maxWaitMs, 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(maxWaitMs));
    };
  }
};

TEST(RunAndWait, RunsTheProgramThroughWineAndPumpsWhileWaiting) {
  TempPrefix prefix;
  FakeWine wine(prefix);
  TempPrefix::WriteFile(prefix.HostC("C:\\Sorana App\\New_BIN\\PICVIEW\\regsvr32.exe"), "MZ");
  // A descriptor this process leaves open must not reach the child.
  int leaked = open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 3);

  CountingPump pump;
  const auto start = std::chrono::steady_clock::now();
  test::ScopedEnv overrides("WINEDLLOVERRIDES", "mscoree=");
  EXPECT_EQ(RunAndWait("\"C:\\Sorana App\\NEW_BIN\\PICVIEW\\regsvr32.exe\" /s \"C:\\Sorana "
                       "App\\NEW_BIN\\PICVIEW\\PICIVIEW.OCX\"",
                       Wait(pump.Function())),
            RunOutcome::Exited);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));  // it waited
  close(leaked);

  EXPECT_GE(pump.calls, 2);
  EXPECT_LE(pump.calls, 20);  // each call blocked, nothing spun
  const std::string host =
      fs::canonical(prefix.DriveC()).string() + "/Sorana App/New_BIN/PICVIEW/regsvr32.exe";
  EXPECT_EQ(wine.Output("args"), host + "\n/s\nC:\\Sorana App\\NEW_BIN\\PICVIEW\\PICIVIEW.OCX\n");
  EXPECT_EQ(wine.Output("prefix"), prefix.Root().string());
  // The user's overrides are kept; Wine's debugger is off (the last entry wins).
  EXPECT_EQ(wine.Output("overrides"), "mscoree=;winedbg.exe=d");
  EXPECT_EQ(wine.Output("fds").find(std::to_string(leaked) + "\n"), std::string::npos) << wine.Output("fds");
}

TEST(RunAndWait, SplitsArgumentsLikeTheCRuntime) {
  TempPrefix prefix;
  FakeWine wine(prefix);
  EXPECT_EQ(RunAndWait("  regsvr32.exe a\\\\b \"c d\" e\\\"f \"g\"\"h\" \"\" \\\\\\\\\"i j\"", {}),
            RunOutcome::Exited);
  EXPECT_EQ(wine.Output("args"), "regsvr32.exe\na\\\\b\nc d\ne\"f\ng\"h\n\n\\\\i j\n");
}

TEST(RunAndWait, FailsSilentlyWhenNothingCanStart) {
  TempPrefix prefix;
  FakeWine wine(prefix);
  CountingPump pump;
  EXPECT_EQ(RunAndWait("\"C:\\missing\\regsvr32.exe\" /s x", Wait(pump.Function())), RunOutcome::NotStarted);
  EXPECT_EQ(RunAndWait("\"Q:\\regsvr32.exe\"", Wait(pump.Function())), RunOutcome::NotStarted);
  EXPECT_EQ(RunAndWait("   ", Wait(pump.Function())), RunOutcome::NotStarted);
  EXPECT_EQ(RunAndWait("\"\" /s", Wait(pump.Function())), RunOutcome::NotStarted);
  EXPECT_FALSE(wine.Ran());

  TempPrefix::WriteFile(prefix.HostC("C:\\x.exe"), "MZ");
  wine.Remove();
  EXPECT_EQ(RunAndWait("C:\\x.exe", Wait(pump.Function())), RunOutcome::NotStarted);
  EXPECT_EQ(pump.calls, 0);
}

TEST(RunAndWait, AnImpatientPumpDoesNotSpin) {
  TempPrefix prefix;
  FakeWine wine(prefix);
  int calls = 0;
  EXPECT_EQ(RunAndWait("prog.exe", Wait([&](int) { ++calls; })), RunOutcome::Exited);
  EXPECT_GE(calls, 1);
  EXPECT_LE(calls, 60);  // about 0.3 s in slices of at least 10 ms
}

// A program that does not end is ended with what it started: at the bound, or
// at once when the wait is given up (the window closed).
struct HangCase {
  const char* name;
  milliseconds bound;
  bool givesUp;  // once the stand-in's "debugger" runs
  milliseconds atLeast, atMost;
};

TEST(RunAndWait, AProgramThatDoesNotEndIsEndedWithAllItStarted) {
  const HangCase cases[] = {
      {"bound", milliseconds(1000), false, milliseconds(1000), milliseconds(2500)},
      {"given up", milliseconds::max(), true, milliseconds(0), milliseconds(1500)},
  };
  for (const HangCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempPrefix prefix;
    FakeWine wine(prefix, kHangsWithADebugger);
    auto pump = [](int maxWaitMs) { std::this_thread::sleep_for(milliseconds(maxWaitMs)); };
    auto keepWaiting = [&] { return !c.givesUp || !fs::exists(wine.OutputFolder() / "child"); };
    const auto start = Clock::now();
    EXPECT_EQ(RunAndWait("prog.exe", Wait(pump, keepWaiting, c.bound)), RunOutcome::Ended);
    const auto spent = Clock::now() - start;
    EXPECT_GE(spent, c.atLeast);
    EXPECT_LT(spent, c.atMost);
    ASSERT_FALSE(wine.Output("child").empty());
    EXPECT_FALSE(Alive(wine.Output("pid")));
    EXPECT_FALSE(Alive(wine.Output("child")));
  }
}

// Xvfb on a free display for the object's lifetime; no display without Xvfb.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string fd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb",    "-displayfd", fd.c_str(),   "-nolisten", "tcp",
                          "-screen", "0",          "640x480x24", nullptr};
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    // Xvfb writes the number and the newline apart, and ends if it cannot.
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char ch = 0;
    while (pid_ > 0 && !number.ends_with('\n') && poll(&ready, 1, 30000) == 1 && read(fds[0], &ch, 1) == 1) {
      number += ch;
    }
    if (number.ends_with('\n')) display_.emplace("DISPLAY", ":" + number.substr(0, number.size() - 1));
    close(fds[0]);
  }
  ~VirtualDisplay() {
    display_.reset();
    if (pid_ > 0 && kill(pid_, SIGTERM) == 0) waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = 0;
  std::optional<test::ScopedEnv> display_;
};

// Runs a shell command with WINEPREFIX set; its exit status.
int WithPrefix(const fs::path& root, const std::string& command) {
  int status = std::system(("WINEPREFIX='" + root.string() + "' " + command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Processes whose environment names the prefix.
int ProcessesOf(const fs::path& root) {
  const std::string mark = "WINEPREFIX=" + root.string();
  int count = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    std::ifstream in(entry.path() / "environ");
    for (std::string var; std::getline(in, var, '\0');)
      count += var == mark && Alive(entry.path().filename());
  }
  return count;
}

// The programs the site tool writes, in a prefix made by wineboot, under a
// display (where Wine's debugger would wait for an answer): the program exits
// with 0; the one without code crashes and ends by itself, nothing left. With
// no Wine installed the crash is played by the stand-in that hangs the way it
// did, and is ended at the bound; either way the run is over in time.
TEST(RunAndWait, ProgramsRunByRealWineEndAndLeaveNothing) {
  TempPrefix prefix;
  const bool realWine = std::system("command -v wine >/dev/null 2>&1") == 0;
  const fs::path root = prefix.Scratch() / "wine";
  // Whatever happens, nothing of this prefix outlives the test.
  std::shared_ptr<void> cleanup(nullptr, [&](void*) {
    if (realWine) WithPrefix(root, "timeout 30 wineserver -k");
  });
  std::optional<FakeWine> standIn;
  if (realWine) {
    ASSERT_EQ(WithPrefix(root, "WINEDLLOVERRIDES='mscoree,mshtml=' timeout 240 wineboot -i"), 0);
    ASSERT_EQ(WithPrefix(root, "timeout 60 wineserver -w"), 0);
    SetActiveSystem(WindowsSystem(root));
  } else {
    standIn.emplace(prefix, kHangsWithADebugger);
  }
  TempPrefix::WriteFile(*ToHost("C:\\p\\ok.exe"), test::MakeProgramFile(5, 1, 2600, 0));
  TempPrefix::WriteFile(*ToHost("C:\\p\\crash.exe"), tools::MakeProgramFileWithoutCode({5, 1, 2600, 0}));

  VirtualDisplay display;
  const milliseconds bound(realWine ? 60000 : 500);
  auto pump = [](int maxWaitMs) { std::this_thread::sleep_for(milliseconds(maxWaitMs)); };
  if (realWine) {
    EXPECT_EQ(WithPrefix(root, "timeout 60 wine '" + ToHost("C:\\p\\ok.exe")->string() + "'"), 0);
    EXPECT_EQ(RunAndWait("C:\\p\\ok.exe", Wait(pump, nullptr, bound)), RunOutcome::Exited);
  }
  const auto start = Clock::now();
  const RunOutcome crash = RunAndWait("\"C:\\p\\crash.exe\" /s \"C:\\p\\x.ocx\"", Wait(pump, nullptr, bound));
  EXPECT_LT(Clock::now() - start, bound + milliseconds(1000));
  EXPECT_EQ(crash, realWine ? RunOutcome::Exited : RunOutcome::Ended);
  if (realWine) {
    // The prefix's server ends once no program of it is left.
    EXPECT_EQ(WithPrefix(root, "timeout 30 wineserver -w"), 0);
    EXPECT_EQ(ProcessesOf(root), 0);
  } else {
    EXPECT_FALSE(Alive(standIn->Output("pid")));
    EXPECT_FALSE(Alive(standIn->Output("child")));
  }
}

}  // namespace
}  // namespace sorana::platform
