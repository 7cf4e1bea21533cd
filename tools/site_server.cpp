#include "tools/site_server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "tools/site_error.h"

namespace sorana::tools {

namespace fs = std::filesystem;

namespace {

constexpr size_t kChunk = size_t{64} * 1024;
constexpr size_t kPacedChunk = size_t{8} * 1024;

bool IsBelow(const fs::path& root, const fs::path& path) {
  auto r = root.begin();
  auto p = path.begin();
  for (; r != root.end(); ++r, ++p) {
    if (p == path.end() || *r != *p) return false;
  }
  return true;
}

// Why the address cannot be bound, for the one-line message: the bind is tried
// again here because the HTTP library reports only that it failed.
std::string BindProblem(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc != 0) return gai_strerror(rc);
  std::string problem = "the address cannot be bound";
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    int fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (fd < 0) {
      problem = std::strerror(errno);
      continue;
    }
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (bind(fd, a->ai_addr, a->ai_addrlen) != 0) problem = std::strerror(errno);
    close(fd);
  }
  freeaddrinfo(found);
  return problem;
}

void ServeFile(const fs::path& file, uint64_t bytesPerSecond, httplib::Response& res) {
  std::error_code ec;
  uintmax_t size = fs::file_size(file, ec);
  auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
  if (ec || !*in) {
    res.status = 403;
    res.set_content("Forbidden\n", "text/plain");
    return;
  }
  size_t chunk = bytesPerSecond > 0 ? kPacedChunk : kChunk;
  res.set_content_provider(
      static_cast<size_t>(size), "application/octet-stream",
      [in, chunk, bytesPerSecond](size_t offset, size_t length, httplib::DataSink& sink) {
        std::vector<char> buffer(std::min(chunk, length));
        in->seekg(static_cast<std::streamoff>(offset));
        in->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (in->gcount() <= 0) return false;  // the file shrank: cut the response
        size_t got = static_cast<size_t>(in->gcount());
        if (bytesPerSecond > 0) {
          auto pause = std::chrono::microseconds(got * 1000000 / bytesPerSecond);
          std::this_thread::sleep_for(pause);
        }
        return sink.write(buffer.data(), got);
      });
}

}  // namespace

Resolution ResolveBelow(const fs::path& canonicalRoot, std::string_view requestPath) {
  using Kind = Resolution::Kind;
  if (requestPath.empty() || requestPath.front() != '/') return {Kind::Outside, {}};
  if (requestPath.find('\0') != std::string_view::npos) return {Kind::Outside, {}};
  fs::path relative = fs::path(std::string(requestPath.substr(1))).lexically_normal();
  if (relative.is_absolute() || (!relative.empty() && *relative.begin() == "..")) return {Kind::Outside, {}};
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(canonicalRoot / relative, ec);
  if (ec) return {Kind::Missing, {}};
  if (!IsBelow(canonicalRoot, resolved)) return {Kind::Outside, {}};  // through a symbolic link
  if (!fs::is_regular_file(resolved, ec)) return {Kind::Missing, {}};
  return {Kind::File, resolved};
}

SiteServer::SiteServer(ServeOptions options) : options_(std::move(options)) {}

SiteServer::~SiteServer() { Stop(); }

int SiteServer::Start() {
  std::error_code ec;
  canonicalRoot_ = fs::canonical(options_.root, ec);
  if (ec || !fs::is_directory(canonicalRoot_)) {
    throw SiteError("no such folder: " + options_.root.string());
  }
  server_ = std::make_unique<httplib::Server>();
  // SO_REUSEADDR lets a server start again at once after a stop; the library's
  // default SO_REUSEPORT would also let a second server share a port in use.
  server_->set_socket_options([](int sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // Headers and body go out in separate writes; without TCP_NODELAY each file
  // waits for the client's delayed acknowledgement (some 40 ms).
  server_->set_tcp_nodelay(true);
  server_->set_keep_alive_max_count(100000);
  // Idle connections hold a stop back until this runs out; clients reconnect freely.
  server_->set_keep_alive_timeout(2);
  const uint64_t rate = options_.bytesPerSecond;
  const fs::path root = canonicalRoot_;
  server_->Get(R"(/.*)", [root, rate](const httplib::Request& req, httplib::Response& res) {
    Resolution found = ResolveBelow(root, req.path);
    switch (found.kind) {
      case Resolution::Kind::File:
        ServeFile(found.file, rate, res);
        break;
      case Resolution::Kind::Outside:
        res.status = 403;
        res.set_content("Forbidden\n", "text/plain");
        break;
      case Resolution::Kind::Missing:
        res.status = 404;
        res.set_content("Not Found\n", "text/plain");
        break;
    }
  });
  if (options_.logRequests) {
    server_->set_logger([](const httplib::Request& req, const httplib::Response& res) {
      std::fprintf(stderr, "%s %s %d\n", req.method.c_str(), req.path.c_str(), res.status);
    });
  }
  if (options_.port == 0) {
    port_ = server_->bind_to_any_port(options_.bind);
    if (port_ <= 0)
      throw SiteError("cannot listen on " + options_.bind + ": " + BindProblem(options_.bind, 0));
  } else {
    if (!server_->bind_to_port(options_.bind, options_.port)) {
      throw SiteError("cannot listen on " + options_.bind + ":" + std::to_string(options_.port) + ": " +
                      BindProblem(options_.bind, options_.port));
    }
    port_ = options_.port;
  }
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // A stop before the loop runs would be lost (the library ignores it), so the
  // start waits for the loop; it begins within microseconds.
  for (int i = 0; i < 5000 && !server_->is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return port_;
}

void SiteServer::Stop() {
  if (server_) server_->stop();
  if (thread_.joinable()) thread_.join();
}

std::string SiteServer::Url() const {
  bool v6 = options_.bind.find(':') != std::string::npos;
  return "http://" + (v6 ? "[" + options_.bind + "]" : options_.bind) + ":" + std::to_string(port_);
}

}  // namespace sorana::tools
