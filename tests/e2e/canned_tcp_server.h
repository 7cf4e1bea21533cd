// A loopback listener that answers every connection with the same bytes and
// closes it: a proxy that demands authentication, or a port where something
// other than an HTTP proxy listens.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace sorana::e2e {

class CannedTcpServer {
 public:
  explicit CannedTcpServer(std::string answer, bool waitForRequest = true);
  ~CannedTcpServer();
  CannedTcpServer(const CannedTcpServer&) = delete;
  CannedTcpServer& operator=(const CannedTcpServer&) = delete;

  int Port() const { return port_; }
  int Connections() const { return connections_.load(); }

 private:
  void Loop();

  std::string answer_;
  bool waitForRequest_;
  int listenFd_ = -1;
  int stopFd_ = -1;
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::thread thread_;
};

// A loopback port on which nothing listens.
int ClosedPort();

}  // namespace sorana::e2e
