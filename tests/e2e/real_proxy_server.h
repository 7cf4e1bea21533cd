// Real forward proxies from Debian for tests, started in the foreground on a
// free loopback port with a configuration written for them and stopped
// (bounded) when the object goes: tinyproxy, which closes the client's
// connection after every response as many office proxies do, and squid asking
// for a login (Basic or Digest) as company proxies do.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace sorana::e2e {

class RealProxyServer {
 public:
  enum class Kind { Tinyproxy, SquidBasic, SquidDigest };
  // The Via name it adds to every request it forwards.
  static constexpr const char* kViaName = "sorana-test-proxy";
  // The one login squid takes.
  static constexpr const char* kUser = "sorana";
  static constexpr const char* kPassword = "pass word";

  // Throws std::runtime_error when the proxy is missing or does not start.
  explicit RealProxyServer(Kind kind);
  ~RealProxyServer();
  RealProxyServer(const RealProxyServer&) = delete;
  RealProxyServer& operator=(const RealProxyServer&) = delete;

  int Port() const { return port_; }
  // What it logged so far, for messages of failed tests.
  std::string Log() const;

 private:
  // Starts the proxy on `port`; true once the port accepts connections.
  bool StartOn(int port);
  // Its configuration for `port`, and the command that runs it.
  bool Configure(int port, std::vector<std::string>& command) const;
  void Stop();

  Kind kind_;
  std::filesystem::path folder_;
  int port_ = 0;
  int pid_ = -1;
  int pidFd_ = -1;  // readable once the process has ended
};

}  // namespace sorana::e2e
