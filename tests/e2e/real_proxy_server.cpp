#include "e2e/real_proxy_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "e2e/canned_tcp_server.h"

extern char** environ;

namespace sorana::e2e {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStartLimit = std::chrono::seconds(10);
constexpr auto kStopLimit = std::chrono::seconds(5);
constexpr int kStartAttempts = 3;

bool Accepts(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

// True when the process behind `pidFd` ended within `timeoutMs`.
bool Ended(int pidFd, int timeoutMs) {
  pollfd ended{pidFd, POLLIN, 0};
  return ::poll(&ended, 1, timeoutMs) > 0;
}

// The Apache MD5 form of a password, as Basic's helper reads it.
std::string ApacheHash(const std::string& password) {
  std::string hash;
  if (FILE* out = ::popen(("openssl passwd -apr1 '" + password + "'").c_str(), "r")) {
    char line[256];
    if (std::fgets(line, sizeof line, out) != nullptr) hash = line;
    ::pclose(out);
  }
  while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r')) hash.pop_back();
  return hash;
}

}  // namespace

RealProxyServer::RealProxyServer(Kind kind) : kind_(kind) {
  std::string templ = (fs::temp_directory_path() / "sorana-proxy-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + templ);
  folder_ = templ;
  // squid drops root for its own user, which must read the logins.
  fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  // The free port found may be taken before the proxy binds it; then it
  // ends at once and another port is tried.
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    if (StartOn(ClosedPort())) return;
    Stop();
  }
  std::string log = Log();
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
  throw std::runtime_error("the proxy (tinyproxy, squid: scripts/packages.txt) did not start:\n" + log);
}

RealProxyServer::~RealProxyServer() {
  Stop();
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

std::string RealProxyServer::Log() const {
  std::string text;
  for (const char* name : {"output.txt", "tinyproxy.log"}) {
    std::ifstream in(folder_ / name, std::ios::binary);
    text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return text;
}

bool RealProxyServer::Configure(int port, std::vector<std::string>& command) const {
  if (kind_ == Kind::Tinyproxy) {
    const fs::path config = folder_ / "tinyproxy.conf";
    // No User / Group: it stays the current user, also when that is root.
    std::ofstream out(config, std::ios::trunc);
    out << "Port " << port << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 100\n"
        << "LogFile \"" << (folder_ / "tinyproxy.log").string() << "\"\nLogLevel Info\n"
        << "ViaProxyName \"" << kViaName << "\"\n";
    command = {"tinyproxy", "-d", "-c", config.string()};
    return static_cast<bool>(out);
  }
  const bool digest = kind_ == Kind::SquidDigest;
  const fs::path logins = folder_ / "logins";
  {
    // Digest's helper reads the password itself; Basic's an Apache MD5 hash of it.
    std::ofstream out(logins, std::ios::trunc);
    out << kUser << ":" << (digest ? std::string(kPassword) : ApacheHash(kPassword)) << "\n";
    if (!out) return false;
  }
  const char* scheme = digest ? "digest" : "basic";
  const fs::path config = folder_ / "squid.conf";
  std::ofstream out(config, std::ios::trunc);
  out << "http_port 127.0.0.1:" << port << "\npid_filename none\naccess_log none\ncache_log /dev/null\n"
      << "cache deny all\ncache_mem 8 MB\nshutdown_lifetime 0 seconds\nvisible_hostname " << kViaName << "\n"
      << "auth_param " << scheme << " program /usr/lib/squid/" << (digest ? "digest_file_auth " : "basic_ncsa_auth ")
      << logins.string() << "\nauth_param " << scheme << " realm sorana\n"
      << "acl login proxy_auth REQUIRED\nhttp_access allow login\nhttp_access deny all\n";
  command = {"squid", "-N", "-f", config.string()};
  return static_cast<bool>(out);
}

bool RealProxyServer::StartOn(int port) {
  port_ = port;
  std::vector<std::string> command;
  if (!Configure(port, command)) return false;
  const std::string output = (folder_ / "output.txt").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  // squid lies outside a user's PATH (/usr/sbin).
  const std::string program = command[0] == "squid" ? "/usr/sbin/squid" : command[0];
  int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  pid_ = pid;
  pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidFd_ < 0) return false;

  // Ready once its port accepts; a process that ends first did not start.
  const Clock::time_point deadline = Clock::now() + kStartLimit;
  while (Clock::now() < deadline) {
    if (Accepts(port)) return !Ended(pidFd_, 0);
    if (Ended(pidFd_, 20)) return false;
  }
  return false;
}

void RealProxyServer::Stop() {
  if (pid_ < 0) return;
  if (pidFd_ >= 0) {
    ::kill(pid_, SIGTERM);
    if (!Ended(pidFd_, static_cast<int>(std::chrono::milliseconds(kStopLimit).count()))) ::kill(pid_, SIGKILL);
    ::close(pidFd_);
    pidFd_ = -1;
  } else {
    ::kill(pid_, SIGKILL);
  }
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace sorana::e2e
