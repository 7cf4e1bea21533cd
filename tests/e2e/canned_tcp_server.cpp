#include "e2e/canned_tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <exception>
#include <stdexcept>

namespace sorana::e2e {

namespace {

int ListenOnLoopback(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("bind failed");
  }
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

int ClosedPort() {
  int port = 0;
  // Bound but never listening: connections to it are refused.
  int fd = ListenOnLoopback(port);
  close(fd);
  return port;
}

CannedTcpServer::CannedTcpServer(std::string answer, bool waitForRequest)
    : answer_(std::move(answer)), waitForRequest_(waitForRequest) {
  listenFd_ = ListenOnLoopback(port_);
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  if (listen(listenFd_, 16) != 0 || stopFd_ < 0) throw std::runtime_error("listen failed");
  thread_ = std::thread([this] { Loop(); });
}

CannedTcpServer::~CannedTcpServer() {
  uint64_t one = 1;
  if (write(stopFd_, &one, sizeof(one)) != sizeof(one)) std::terminate();
  thread_.join();
  close(listenFd_);
  close(stopFd_);
}

void CannedTcpServer::Loop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN)) return;
    int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ++connections_;
    if (waitForRequest_) {
      // Read up to the end of the request head, with a bound on the wait.
      std::string head;
      char buffer[1024];
      while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd in[2] = {{client, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (poll(in, 2, 2000) <= 0 || (in[1].revents & POLLIN)) break;
        ssize_t got = read(client, buffer, sizeof(buffer));
        if (got <= 0) break;
        head.append(buffer, static_cast<size_t>(got));
      }
    }
    ssize_t written = send(client, answer_.data(), answer_.size(), MSG_NOSIGNAL);
    (void)written;  // a client that left early is no fault of the server
    shutdown(client, SHUT_WR);
    close(client);
  }
}

}  // namespace sorana::e2e
