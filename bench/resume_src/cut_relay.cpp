// The link of bench/resume and bench/long-path: a relay on a loopback port in
// front of the server's port. The server's answers share one rate (a slow
// link); with --delay every block waits half the round trip each way (a new
// connection one round trip more, for its handshake), as a long path holds
// it; and once the answers reach --cut-after bytes the link drops: every open
// connection is reset, and so is every later one until the relay ends (the
// next click goes through a relay of its own). Prints its port on the first
// line; on SIGTERM or SIGINT prints "relayed <bytes the server sent through
// it>" and ends.
//   cut_relay --to PORT --rate BYTES_PER_SECOND [--delay ROUND_TRIP_MS] [--cut-after BYTES]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stopping = 0;

// Blocks on their way one way along the path, each with the time it arrives.
struct DelayLine {
  std::deque<std::pair<Clock::time_point, std::string>> blocks;
  size_t bytes = 0;
  void Push(Clock::time_point at, const char* data, size_t length) {
    blocks.emplace_back(at, std::string(data, length));
    bytes += length;
  }
  // Moves what has arrived by `now` to `out`.
  void Arrive(Clock::time_point now, std::string& out) {
    while (!blocks.empty() && blocks.front().first <= now) {
      out += blocks.front().second;
      bytes -= blocks.front().second.size();
      blocks.pop_front();
    }
  }
};

struct Link {
  int client = -1;
  int server = -1;
  std::string toServer;  // what is yet to be written each way
  std::string toClient;
  DelayLine lateToServer, lateToClient;
  Clock::time_point handshaken;  // the path's handshake is over: nothing reaches the server before
  bool open = true;
};

// What a connection holds on its way to the client at most (the path's window).
constexpr size_t kMostInFlight = size_t{4} << 20;

int Listen(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(fd, 64) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

int Connect(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

void Reset(int fd) {
  linger abort{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  ::close(fd);
}

// Writes what it can of `pending` to `fd`; false when the peer is gone.
bool Flush(int fd, std::string& pending) {
  while (!pending.empty()) {
    ssize_t sent = ::send(fd, pending.data(), pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
    pending.erase(0, static_cast<size_t>(sent));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int to = 0;
  double rate = 0;
  int64_t cutAfter = -1;
  double delayMs = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--delay") == 0) delayMs = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--to") == 0) to = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--rate") == 0) rate = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--cut-after") == 0) cutAfter = std::atoll(argv[i + 1]);
  }
  if (to <= 0 || rate <= 0) {
    std::fprintf(
        stderr,
        "usage: cut_relay --to PORT --rate BYTES_PER_SECOND [--delay ROUND_TRIP_MS] [--cut-after BYTES]\n");
    return 2;
  }
  std::signal(SIGTERM, [](int) { stopping = 1; });
  std::signal(SIGINT, [](int) { stopping = 1; });
  int port = 0;
  const int listener = Listen(port);
  if (listener < 0) {
    std::perror("cut_relay: listen");
    return 1;
  }
  std::printf("%d\n", port);
  std::fflush(stdout);

  const auto halfTrip =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(delayMs / 2));
  std::vector<Link> links;
  int64_t relayed = 0;
  double allowance = 0;  // bytes the link may carry now; a tenth of a second at most
  Clock::time_point last = Clock::now();
  bool down = false;  // the link was cut: no connection gets through any more
  while (stopping == 0) {
    const Clock::time_point now = Clock::now();
    allowance = std::min(rate / 10, allowance + rate * std::chrono::duration<double>(now - last).count());
    last = now;
    std::vector<pollfd> fds{{listener, POLLIN, 0}};
    for (Link& link : links) {
      link.lateToServer.Arrive(now, link.toServer);
      link.lateToClient.Arrive(now, link.toClient);
      const bool mayRead = allowance >= 1 && link.toClient.empty() && link.lateToClient.bytes < kMostInFlight;
      fds.push_back({link.client, static_cast<short>(POLLIN | (link.toClient.empty() ? 0 : POLLOUT)), 0});
      fds.push_back({link.server,
                     static_cast<short>((mayRead ? POLLIN : 0) | (link.toServer.empty() ? 0 : POLLOUT)), 0});
    }
    if (::poll(fds.data(), fds.size(), 5) < 0) continue;
    if ((fds[0].revents & POLLIN) != 0) {
      int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      int server = client >= 0 && !down ? Connect(to) : -1;
      if (server >= 0) {
        links.push_back({client, server, {}, {}, {}, {}, Clock::now() + 2 * halfTrip, true});
      } else if (client >= 0) {
        Reset(client);
      }
    }
    char buffer[64 * 1024];
    // The links polled: a link accepted just now waits for the next round.
    const size_t polled = (fds.size() - 1) / 2;
    for (size_t k = 0; k < polled; ++k) {
      Link& link = links[k];
      const pollfd& client = fds[1 + 2 * k];
      const pollfd& server = fds[2 + 2 * k];
      if ((client.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        ssize_t got = ::recv(link.client, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got <= 0 && errno != EAGAIN) link.open = false;
        if (got > 0)
          link.lateToServer.Push(std::max(now, link.handshaken) + halfTrip, buffer, static_cast<size_t>(got));
      }
      if ((server.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        size_t room = std::min<size_t>(sizeof buffer, static_cast<size_t>(allowance));
        if (cutAfter >= 0)
          room = std::min<size_t>(room, static_cast<size_t>(std::max<int64_t>(cutAfter - relayed, 1)));
        ssize_t got = ::recv(link.server, buffer, std::max<size_t>(room, 1), MSG_DONTWAIT);
        if (got <= 0 && errno != EAGAIN) link.open = false;
        if (got > 0) {
          link.lateToClient.Push(now + halfTrip, buffer, static_cast<size_t>(got));
          relayed += got;
          allowance -= static_cast<double>(got);
        }
      }
      if (!Flush(link.server, link.toServer) || !Flush(link.client, link.toClient)) link.open = false;
    }
    if (cutAfter >= 0 && relayed >= cutAfter) {
      // The link drops: every connection open now is reset, once.
      for (Link& link : links) {
        Flush(link.client, link.toClient);
        Reset(link.client);
        Reset(link.server);
      }
      links.clear();
      cutAfter = -1;
      down = true;
    }
    for (Link& link : links) {
      if (!link.open && link.toClient.empty() && link.lateToClient.blocks.empty()) {
        ::close(link.client);
        ::close(link.server);
        link.client = -1;
      }
    }
    links.erase(std::remove_if(links.begin(), links.end(), [](const Link& link) { return link.client < 0; }),
                links.end());
  }
  std::printf("relayed %lld\n", static_cast<long long>(relayed));
  return 0;
}
