#include "platform/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/temp_prefix.h"

namespace sorana::platform {
namespace {

namespace fs = std::filesystem;
using test::TempPrefix;

// A stand-in `wine` on PATH that records its arguments, WINEPREFIX and open
// descriptors, then runs a little while.
class FakeWine {
 public:
  explicit FakeWine(const TempPrefix& prefix)
      : bin_(prefix.Scratch() / "bin"), out_(prefix.Scratch() / "out") {
    fs::create_directories(bin_);
    fs::create_directories(out_);
    TempPrefix::WriteFile(bin_ / "wine",
                          "#!/bin/sh\n"
                          "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                              out_.string() +
                              "/args\"\n"
                              "printf '%s' \"$WINEPREFIX\" > \"" +
                              out_.string() +
                              "/prefix\"\n"
                              "ls /proc/$$/fd > \"" +
                              out_.string() +
                              "/fds\"\n"
                              "sleep 0.3\n");
    fs::permissions(bin_ / "wine", fs::perms::owner_all);
    if (const char* old = std::getenv("PATH")) savedPath_ = old;
    setenv("PATH", (bin_.string() + ":/usr/bin:/bin").c_str(), 1);
  }
  ~FakeWine() { setenv("PATH", savedPath_.c_str(), 1); }
  void Remove() { fs::remove(bin_ / "wine"); }
  std::string Output(const char* name) const { return TempPrefix::ReadFile(out_ / name); }
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
  EXPECT_TRUE(
      RunAndWait("\"C:\\Sorana App\\NEW_BIN\\PICVIEW\\regsvr32.exe\" /s \"C:\\Sorana "
                 "App\\NEW_BIN\\PICVIEW\\PICIVIEW.OCX\"",
                 pump.Function()));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));  // it waited
  close(leaked);

  EXPECT_GE(pump.calls, 2);
  EXPECT_LE(pump.calls, 20);  // each call blocked, nothing spun
  const std::string host =
      fs::canonical(prefix.DriveC()).string() + "/Sorana App/New_BIN/PICVIEW/regsvr32.exe";
  EXPECT_EQ(wine.Output("args"), host + "\n/s\nC:\\Sorana App\\NEW_BIN\\PICVIEW\\PICIVIEW.OCX\n");
  EXPECT_EQ(wine.Output("prefix"), prefix.Root().string());
  EXPECT_EQ(wine.Output("fds").find(std::to_string(leaked) + "\n"), std::string::npos) << wine.Output("fds");
}

TEST(RunAndWait, SplitsArgumentsLikeTheCRuntime) {
  TempPrefix prefix;
  FakeWine wine(prefix);
  EXPECT_TRUE(RunAndWait("  regsvr32.exe a\\\\b \"c d\" e\\\"f \"g\"\"h\" \"\" \\\\\\\\\"i j\"", nullptr));
  EXPECT_EQ(wine.Output("args"), "regsvr32.exe\na\\\\b\nc d\ne\"f\ng\"h\n\n\\\\i j\n");
}

TEST(RunAndWait, FailsSilentlyWhenNothingCanStart) {
  TempPrefix prefix;
  FakeWine wine(prefix);
  CountingPump pump;
  EXPECT_FALSE(RunAndWait("\"C:\\missing\\regsvr32.exe\" /s x", pump.Function()));
  EXPECT_FALSE(RunAndWait("\"Q:\\regsvr32.exe\"", pump.Function()));
  EXPECT_FALSE(RunAndWait("   ", pump.Function()));
  EXPECT_FALSE(RunAndWait("\"\" /s", pump.Function()));
  EXPECT_FALSE(wine.Ran());

  TempPrefix::WriteFile(prefix.HostC("C:\\x.exe"), "MZ");
  wine.Remove();
  EXPECT_FALSE(RunAndWait("C:\\x.exe", pump.Function()));
  EXPECT_EQ(pump.calls, 0);
}

TEST(RunAndWait, AnImpatientPumpDoesNotSpin) {
  TempPrefix prefix;
  FakeWine wine(prefix);
  int calls = 0;
  EXPECT_TRUE(RunAndWait("prog.exe", [&](int) { ++calls; }));
  EXPECT_GE(calls, 1);
  EXPECT_LE(calls, 60);  // about 0.3 s in slices of at least 10 ms
}

}  // namespace
}  // namespace sorana::platform
