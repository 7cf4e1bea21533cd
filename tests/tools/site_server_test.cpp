// The site server over real sockets: what it serves, what it refuses, and the
// sorana-site process starting, serving and stopping on a signal.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "site_test_support.h"
#include "support/temp_prefix.h"
#include "tools/site_error.h"
#include "tools/site_server.h"

extern char** environ;

namespace sorana::test {
namespace {

namespace fs = std::filesystem;

struct Response {
  int status = 0;
  std::string headers;
  std::string body;
};

// A client connection that sends raw request lines, so paths go out exactly as written.
class Connection {
 public:
  explicit Connection(int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    timeval timeout{10, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~Connection() { close(fd_); }
  bool Connected() const { return connected_; }

  Response Get(const std::string& target) {
    std::string request = "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
    if (send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
      return {};
    while (buffer_.find("\r\n\r\n") == std::string::npos && Fill()) {
    }
    size_t end = buffer_.find("\r\n\r\n");
    if (end == std::string::npos) return {};
    Response response;
    response.headers = buffer_.substr(0, end + 2);
    response.status = std::stoi(response.headers.substr(9, 3));
    size_t at = response.headers.find("Content-Length: ");
    size_t length = at == std::string::npos ? 0 : std::stoul(response.headers.substr(at + 16));
    buffer_.erase(0, end + 4);
    while (buffer_.size() < length && Fill()) {
    }
    response.body = buffer_.substr(0, length);
    buffer_.erase(0, std::min(length, buffer_.size()));
    return response;
  }

 private:
  bool Fill() {
    char chunk[65536];
    ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
  }
  int fd_;
  bool connected_ = false;
  std::string buffer_;
};

class SiteServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = scratch_.Path() / "site";
    TempPrefix::WriteFile(root_ / "sorana" / "v128" / "ヘルプ.lzh", std::string(70000, 'h'));
    TempPrefix::WriteFile(root_ / "sorana" / "20240410" / "A.SP_", "plug-in");
    TempPrefix::WriteFile(scratch_.Path() / "secret.txt", "outside");
    fs::create_directory_symlink(scratch_.Path(), root_ / "link");
  }
  tools::SiteServer& Start(uint64_t rate = 0) {
    tools::ServeOptions options;
    options.root = root_;
    options.port = 0;
    options.bytesPerSecond = rate;
    options.logRequests = false;
    server_ = std::make_unique<tools::SiteServer>(options);
    port_ = server_->Start();
    return *server_;
  }
  ScratchFolder scratch_;
  fs::path root_;
  std::unique_ptr<tools::SiteServer> server_;
  int port_ = 0;
};

TEST_F(SiteServerTest, ServesFilesWithLengthOnOneConnection) {
  Start();
  Connection connection(port_);
  ASSERT_TRUE(connection.Connected());
  Response help = connection.Get("/sorana/v128/%E3%83%98%E3%83%AB%E3%83%97.lzh");
  EXPECT_EQ(help.status, 200);
  EXPECT_NE(help.headers.find("Content-Length: 70000\r\n"), std::string::npos) << help.headers;
  EXPECT_EQ(help.body, std::string(70000, 'h'));
  Response plugin = connection.Get("/sorana/20240410/A.SP_");  // same connection: kept alive
  EXPECT_EQ(plugin.status, 200);
  EXPECT_EQ(plugin.body, "plug-in");
}

TEST_F(SiteServerTest, RefusesPathsOutsideTheFolder) {
  Start();
  for (std::string target : {"/../secret.txt", "/sorana/../../secret.txt", "/sorana/%2e%2e/%2E%2E/secret.txt",
                             "/link/secret.txt"}) {
    Connection connection(port_);
    Response response = connection.Get(target);
    EXPECT_EQ(response.status, 403) << target;
    EXPECT_EQ(response.body.find("outside"), std::string::npos) << target;
  }
  Connection connection(port_);
  EXPECT_EQ(connection.Get("/sorana/20240410/B.SP_").status, 404);
  EXPECT_EQ(connection.Get("/sorana/").status, 404);
}

TEST_F(SiteServerTest, APortInUseIsAnErrorNotASharedPort) {
  Start();
  tools::ServeOptions second;
  second.root = root_;
  second.port = port_;
  tools::SiteServer other(second);
  try {
    other.Start();
    FAIL() << "a second server bound the same port";
  } catch (const tools::SiteError& e) {
    EXPECT_NE(std::string(e.what()).find(std::to_string(port_)), std::string::npos) << e.what();
  }
}

TEST_F(SiteServerTest, RateLimitPacesTheBody) {
  Start(256 * 1024);
  Connection connection(port_);
  auto start = std::chrono::steady_clock::now();
  Response response = connection.Get("/sorana/v128/%E3%83%98%E3%83%AB%E3%83%97.lzh");
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(response.body.size(), 70000u);
  EXPECT_GE(elapsed, std::chrono::milliseconds(200));
}

TEST_F(SiteServerTest, ProcessPrintsItsUrlAndStopsOnSigterm) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::string root = root_.string();
  std::vector<std::string> args = {SORANA_SITE_EXECUTABLE, "serve", root, "--port", "0", "--quiet"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, SORANA_SITE_EXECUTABLE, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);

  std::string line;
  char ch;
  while (read(pipeFds[0], &ch, 1) == 1 && ch != '\n') line += ch;
  close(pipeFds[0]);
  ASSERT_TRUE(line.starts_with("http://127.0.0.1:")) << line;
  Connection connection(std::stoi(line.substr(line.rfind(':') + 1)));
  EXPECT_EQ(connection.Get("/sorana/20240410/A.SP_").body, "plug-in");

  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace sorana::test
