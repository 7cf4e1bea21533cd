// The HTTP test server's connections: accepting them, reading each request, and
// the settings a test changes.
#include "support/http_test_server.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "support/http_test_server_sockets.h"

namespace sorana::test {

namespace fs = std::filesystem;
using namespace sockets;

namespace {

std::string Lower(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The path of an origin-form or absolute-form target, decoded, without query.
std::string PathOf(std::string_view target) {
  if (size_t scheme = target.find("://"); scheme != std::string_view::npos) {
    size_t slash = target.find('/', scheme + 3);
    target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
  }
  target = target.substr(0, target.find('?'));
  return PercentDecode(target);
}

}  // namespace

HttpTestServer::HttpTestServer(fs::path root) : root_(std::move(root)) {
  if (!StartSockets()) throw std::runtime_error("test server: no sockets");
#ifdef _WIN32
  listenFd_ = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
#else
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int yes = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
  stopFd_ = MakeStopSocket();
  if (listenFd_ < 0 || stopFd_ < 0) throw std::runtime_error("test server: no socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 64) != 0) {
    throw std::runtime_error("test server: cannot listen");
  }
  socklen_t length = sizeof address;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
  stopping_ = true;
  SignalStop(stopFd_);
  acceptThread_.join();
  {
    std::lock_guard lock(mutex_);
    for (int fd : openFds_) ::shutdown(fd, kShutBoth);
  }
  for (std::thread& thread : connectionThreads_) thread.join();
  CloseSocket(listenFd_);
  CloseSocket(stopFd_);
}

std::string HttpTestServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

void HttpTestServer::SetFault(const std::string& fileName, HttpFault fault) {
  std::lock_guard lock(mutex_);
  faults_[fileName] = fault;
}

void HttpTestServer::SetDefaultFault(HttpFault fault) {
  std::lock_guard lock(mutex_);
  defaultFault_ = fault;
}

void HttpTestServer::SetBadLength(std::string value) {
  std::lock_guard lock(mutex_);
  badLength_ = std::move(value);
}

void HttpTestServer::SetTrickle(size_t bytesPerStep, std::chrono::milliseconds interval) {
  std::lock_guard lock(mutex_);
  trickleStep_ = std::max<size_t>(bytesPerStep, 1);
  trickleInterval_ = interval;
}

void HttpTestServer::SetValidators(bool on) {
  std::lock_guard lock(mutex_);
  validators_ = on;
}

void HttpTestServer::SetCloseAfterResponse(std::chrono::milliseconds delay) {
  std::lock_guard lock(mutex_);
  closeAfterResponse_ = delay;
}

void HttpTestServer::SetConnectionLimit(int count) {
  std::lock_guard lock(mutex_);
  connectionLimit_ = count;
}

bool HttpTestServer::WaitForNoneResponding(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return requestArrived_.wait_for(lock, timeout, [&] { return responding_.load() == 0; });
}

std::vector<HttpRequest> HttpTestServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<std::string> HttpTestServer::RequestLines() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines;
  for (const HttpRequest& request : requests_) lines.push_back(request.requestLine);
  return lines;
}

bool HttpTestServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return requestArrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

HttpFault HttpTestServer::FaultFor(const std::string& path) const {
  std::lock_guard lock(mutex_);
  for (const auto& [name, fault] : faults_) {
    if (path == name ||
        (path.size() > name.size() && path.ends_with(name) && path[path.size() - name.size() - 1] == '/')) {
      return fault;
    }
  }
  return defaultFault_;
}

bool HttpTestServer::WaitReadable(int fd, int timeoutMs) const {
  pollfd fds[2] = {Watch(fd), Watch(stopFd_)};
  int ready = Poll(fds, 2, timeoutMs);
  return ready >= 0 && (fds[1].revents & POLLIN) == 0 && !stopping_;
}

void HttpTestServer::AcceptLoop() {
  while (true) {
    pollfd fds[2] = {Watch(listenFd_), Watch(stopFd_)};
    if (Poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0) return;
#ifdef _WIN32
    int fd = static_cast<int>(::accept(listenFd_, nullptr, nullptr));
#else
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
#endif
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    if (connectionLimit_ > 0 && openFds_.size() >= static_cast<size_t>(connectionLimit_)) {
      linger abort{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
      CloseSocket(fd);
      ++refused_;
      continue;
    }
    int connection = ++connections_;
    openFds_.push_back(fd);
    connectionThreads_.emplace_back([this, fd, connection] { Serve(fd, connection); });
  }
}

void HttpTestServer::Serve(int fd, int connection) {
  std::string buffer;
  bool keepOpen = true;
  bool reset = false;
  while (keepOpen) {
    size_t end;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
      char chunk[4096];
      if (!WaitReadable(fd, -1)) break;
      auto got = ::recv(fd, chunk, sizeof chunk, 0);
      if (got <= 0) break;
      buffer.append(chunk, static_cast<size_t>(got));
    }
    if (end == std::string::npos) break;
    std::string head = buffer.substr(0, end);
    buffer.erase(0, end + 4);

    HttpRequest request;
    request.connection = connection;
    size_t lineEnd = head.find("\r\n");
    request.requestLine = head.substr(0, lineEnd);
    for (size_t pos = lineEnd; pos != std::string::npos && pos < head.size();) {
      size_t next = head.find("\r\n", pos + 2);
      std::string line = head.substr(pos + 2, next == std::string::npos ? std::string::npos : next - pos - 2);
      if (size_t colon = line.find(':'); colon != std::string::npos) {
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        request.headers[Lower(line.substr(0, colon))] = value;
      }
      pos = next;
    }
    size_t firstBlank = request.requestLine.find(' ');
    size_t secondBlank = request.requestLine.find(' ', firstBlank + 1);
    if (firstBlank != std::string::npos) {
      request.target = request.requestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    }
    request.path = PathOf(request.target);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    requestArrived_.notify_all();
    ++responding_;
    keepOpen = Respond(fd, request, reset) && Lower(request.headers["connection"]) != "close";
    {
      std::lock_guard lock(mutex_);
      --responding_;
    }
    requestArrived_.notify_all();
    std::chrono::milliseconds closeAfter;
    {
      std::lock_guard lock(mutex_);
      closeAfter = closeAfterResponse_;
    }
    if (keepOpen && closeAfter.count() > 0) {
      // Whatever the client sends meanwhile stays unread, so the close resets it.
      pollfd stop = Watch(stopFd_);
      Poll(&stop, 1, static_cast<int>(closeAfter.count()));
      keepOpen = false;
    }
  }
  // A clean close ends with FIN; a reset must not send one first.
  if (!reset) ::shutdown(fd, kShutBoth);
  std::lock_guard lock(mutex_);
  openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
  CloseSocket(fd);
}
}  // namespace sorana::test
