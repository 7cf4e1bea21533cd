// Debian's tinyproxy as a real forward proxy for tests: started in the
// foreground on a free loopback port with a configuration written for it,
// without root's user switch, and stopped (bounded) when the object goes. It
// closes the client's connection after every response, as many office proxies do.
#pragma once

#include <filesystem>
#include <string>

namespace sorana::e2e {

class TinyproxyServer {
 public:
  // The Via name it adds to every request it forwards.
  static constexpr const char* kViaName = "sorana-test-proxy";

  // Throws std::runtime_error when tinyproxy is missing or does not start.
  TinyproxyServer();
  ~TinyproxyServer();
  TinyproxyServer(const TinyproxyServer&) = delete;
  TinyproxyServer& operator=(const TinyproxyServer&) = delete;

  int Port() const { return port_; }
  // What it logged so far, for messages of failed tests.
  std::string Log() const;

 private:
  // Starts tinyproxy on `port`; true once the port accepts connections.
  bool StartOn(int port);
  void Stop();

  std::filesystem::path folder_;
  int port_ = 0;
  int pid_ = -1;
  int pidFd_ = -1;  // readable once the process has ended
};

}  // namespace sorana::e2e
