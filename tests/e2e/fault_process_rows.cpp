// The updater killed (SIGKILL) in the middle of a download and in the middle
// of writing the settings file: the next start works and nothing the user
// owns is corrupted.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "e2e/fault_matrix.h"

extern char** environ;

namespace sorana::e2e {
namespace {

// The headless runner as a child process whose standard output we read.
class Runner {
 public:
  explicit Runner(const char* mode) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    char* argv[] = {const_cast<char*>(SORANA_E2E_RUNNER), const_cast<char*>(mode), nullptr};
    int result = posix_spawn(&pid_, SORANA_E2E_RUNNER, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    output_ = fds[0];
    if (result != 0) throw std::runtime_error("cannot start " + std::string(SORANA_E2E_RUNNER));
  }
  ~Runner() {
    Kill();
    close(output_);
  }
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // Waits until the child prints `line`; false on time-out or exit.
  bool WaitForLine(const std::string& line, std::chrono::milliseconds timeout) {
    std::string seen;
    auto end = std::chrono::steady_clock::now() + timeout;
    while (seen.find(line + "\n") == std::string::npos) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd in{output_, POLLIN, 0};
      if (left.count() <= 0 || poll(&in, 1, static_cast<int>(left.count())) <= 0) return false;
      char buffer[256];
      ssize_t got = read(output_, buffer, sizeof(buffer));
      if (got <= 0) return false;
      seen.append(buffer, static_cast<size_t>(got));
    }
    return true;
  }

  // SIGKILL; true when the child was still running and died of it.
  bool Kill() {
    if (pid_ <= 0) return false;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  }

 private:
  pid_t pid_ = 0;
  int output_ = -1;
};

// The runner's update, killed once the plug-in's slow body is arriving.
void KillDuringTheDownload(FaultMatrix& m) {
  Runner runner("update");
  ASSERT_TRUE(m.scenario->Server().WaitForRequests(kPluginPosition + 1, std::chrono::seconds(20)));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // into the body
  EXPECT_TRUE(runner.Kill());
}

// Settings files whose proxy host makes a write take a while.
std::string SettingsWithProxy(char letter) {
  return "PROXYIP=" + std::string(1, letter) + std::string(6000, letter) +
         ".example\r\nPROXYPORT=0\r\nPATH=" + kInstallRoot + "\r\nVER=2.4.0\r\n";
}

// The runner rewriting the settings file again and again, killed at a
// different moment each round; the file is whole after every kill.
void KillWhileWritingSettings(FaultMatrix& m) {
  const std::filesystem::path settings = m.scenario->Product("VMSORANA.INI");
  const std::string original = m.userFiles.at(settings);
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    {
      Runner runner("settings");
      ASSERT_TRUE(runner.WaitForLine("written", std::chrono::seconds(20)));
      std::this_thread::sleep_for(std::chrono::milliseconds(20 + 15 * round));
      EXPECT_TRUE(runner.Kill());
    }
    std::optional<std::string> now = ReadHostFile(settings);
    ASSERT_TRUE(now.has_value());
    EXPECT_TRUE(*now == SettingsWithProxy('a') || *now == SettingsWithProxy('b') || *now == original)
        << now->size() << " bytes: " << now->substr(0, 40);
  }
}

void NextStartReadsTheSettings(FaultMatrix& m) {
  FormSession next;
  ASSERT_TRUE(next.Start());
  EXPECT_TRUE(next.form.State().ProxyIP.starts_with("aaaa") || next.form.State().ProxyIP.starts_with("bbbb"));
  EXPECT_EQ(next.form.State().InstallRoot, kInstallRoot);
  m.userFiles.erase(m.scenario->Product("VMSORANA.INI"));
  ExpectUserFilesUnchanged(m);
}

}  // namespace

// clang-format off
std::vector<FaultRow> ProcessRows() {
  return {
    {.name = "KilledMidDownload", .fault = "process: SIGKILL in the middle of a download",
     .outcome = "nothing installed; next start updates",
     .inject = ServerFault(test::HttpFault::Trickle, 32), .attempt = KillDuringTheDownload,
     .seen = {ExpectPhaseUntouched, ExpectUserFilesUnchanged, NextAttemptInstalls(true)}},
    {.name = "KilledWritingSettings", .fault = "process: SIGKILL while writing the settings file",
     .outcome = "old or new content, never partial; next start works",
     .attempt = KillWhileWritingSettings, .seen = {NextStartReadsTheSettings}},
  };
}
// clang-format on

}  // namespace sorana::e2e
