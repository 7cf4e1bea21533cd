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
#include "e2e/installed_tree.h"

extern char** environ;

namespace sorana::e2e {
namespace {

using app::BoxKind;

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

class FaultMatrixProcess : public FaultMatrixTest {};

TEST_F(FaultMatrixProcess, KilledDuringADownloadTheNextStartUpdates) {
  Prepare();
  const std::vector<std::string> list = catalogue::BuildFileList(false, Chosen());
  const size_t position = 50;
  scenario_->Server().SetFault(list[position], test::HttpFault::Trickle);
  scenario_->Server().SetTrickle(32, std::chrono::milliseconds(20));
  {
    Runner runner("update");
    ASSERT_TRUE(scenario_->Server().WaitForRequests(position + 1, std::chrono::seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // into the body
    EXPECT_TRUE(runner.Kill());
  }
  ExpectPhaseUntouched();
  ExpectUserFilesUnchanged();

  scenario_->Server().SetFault(list[position], test::HttpFault::None);
  FormSession next;
  next.StartAndUpdate();
  EXPECT_TRUE(next.Boxes(BoxKind::Error).empty());
  EXPECT_EQ(next.Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});
  ExpectFilesInstalled(*scenario_, ExpectedPhaseFiles(false, Chosen()));
  ExpectRecordIntact();
  Row("process: SIGKILL in the middle of a download", "nothing installed; next start updates");
}

TEST_F(FaultMatrixProcess, KilledWhileWritingTheSettingsFileLeavesOldOrNewContent) {
  Prepare();
  const std::filesystem::path settings = scenario_->Product("VMSORANA.INI");
  const std::string original = userFiles_.at(settings);
  auto withProxy = [&](char letter) {
    return "PROXYIP=" + std::string(1, letter) + std::string(6000, letter) +
           ".example\r\nPROXYPORT=0\r\nPATH=" + kInstallRoot + "\r\nVER=2.4.0\r\n";
  };
  const std::string a = withProxy('a');
  const std::string b = withProxy('b');
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
    EXPECT_TRUE(*now == a || *now == b || *now == original)
        << now->size() << " bytes: " << now->substr(0, 40);
  }
  FormSession next;
  ASSERT_TRUE(next.Start());
  EXPECT_TRUE(next.form.State().ProxyIP.starts_with("aaaa") || next.form.State().ProxyIP.starts_with("bbbb"));
  EXPECT_EQ(next.form.State().InstallRoot, kInstallRoot);
  for (const auto& [path, bytes] : userFiles_) {
    if (path == settings) continue;
    EXPECT_EQ(ReadHostFile(path), std::optional<std::string>(bytes)) << path;
  }
  Row("process: SIGKILL while writing the settings file",
      "old or new content, never partial; next start works");
}

}  // namespace
}  // namespace sorana::e2e
