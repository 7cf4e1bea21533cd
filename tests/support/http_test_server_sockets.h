// The sockets under the HTTP test server, the same calls over Winsock and POSIX:
// shared by its connection handling and its responses.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <string_view>

namespace sorana::test::sockets {

// The few socket calls that differ between Winsock and POSIX.
#ifdef _WIN32
using Socket = SOCKET;
constexpr int kSendFlags = 0;
constexpr int kShutBoth = SD_BOTH;
inline int Poll(pollfd* fds, unsigned long count, int timeoutMs) { return WSAPoll(fds, count, timeoutMs); }
inline void CloseSocket(int fd) { ::closesocket(static_cast<Socket>(fd)); }
inline bool StartSockets() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
// A datagram socket of its own on loopback: readable once it is sent to itself.
inline int MakeStopSocket() {
  Socket udp = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (udp == INVALID_SOCKET || ::bind(udp, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    return -1;
  return static_cast<int>(udp);
}
inline void SignalStop(int fd) {
  sockaddr_in self{};
  int length = sizeof self;
  ::getsockname(static_cast<Socket>(fd), reinterpret_cast<sockaddr*>(&self), &length);
  ::sendto(static_cast<Socket>(fd), "x", 1, 0, reinterpret_cast<sockaddr*>(&self), length);
}
#else
constexpr int kSendFlags = MSG_NOSIGNAL;
constexpr int kShutBoth = SHUT_RDWR;
inline int Poll(pollfd* fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); }
inline void CloseSocket(int fd) { ::close(fd); }
inline bool StartSockets() { return true; }
inline int MakeStopSocket() { return ::eventfd(0, EFD_CLOEXEC); }
inline void SignalStop(int fd) {
  uint64_t one = 1;
  [[maybe_unused]] ssize_t written = ::write(fd, &one, sizeof one);
}
#endif

inline pollfd Watch(int fd) {
  pollfd entry{};
  entry.fd = static_cast<decltype(entry.fd)>(fd);
  entry.events = POLLIN;
  return entry;
}

inline bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    auto sent = ::send(fd, bytes.data(), static_cast<int>(bytes.size()), kSendFlags);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

}  // namespace sorana::test::sockets
