// The HTTP test server's answers: the file asked for, whole, conditional or a
// range, or the fault set for it.
#include "support/http_test_server.h"

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>

#include "support/http_test_server_sockets.h"

namespace sorana::test {

namespace fs = std::filesystem;
using namespace sockets;

namespace {

std::optional<std::string> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Head(int status, const std::string& reason, const std::string& extra) {
  return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n" + extra + "\r\n";
}

}  // namespace

bool HttpTestServer::Respond(int fd, const HttpRequest& request, bool& reset) {
  HttpFault fault = FaultFor(request.path);
  std::optional<std::string> body;
  bool safe = request.path.find("..") == std::string::npos;
  if (safe) body = ReadFile(root_ / fs::path(request.path).relative_path());
  if (fault == HttpFault::None && !body) fault = HttpFault::NotFound;
  const std::string& bytes = body ? *body : std::string();
  std::string length = "Content-Length: " + std::to_string(bytes.size()) + "\r\n";
  std::string_view half = std::string_view(bytes).substr(0, bytes.size() / 2);
  std::string eTag;
  {
    std::lock_guard lock(mutex_);
    if (validators_ && body) eTag = "\"" + std::to_string(std::hash<std::string>{}(bytes)) + "\"";
  }
  if (!eTag.empty()) {
    length += "ETag: " + eTag + "\r\n";
    const bool plain =
        fault == HttpFault::None || fault == HttpFault::IgnoreRanges || fault == HttpFault::WrongRange;
    const std::string& range = request.headers.count("range") ? request.headers.at("range") : std::string();
    const std::string& ifRange = request.headers.count("if-range") ? request.headers.at("if-range") : eTag;
    const size_t from = range.starts_with("bytes=") ? std::strtoull(range.c_str() + 6, nullptr, 10) : 0;
    if (plain && request.headers.count("if-none-match") && request.headers.at("if-none-match") == eTag) {
      return SendAll(fd, Head(304, "Not Modified", "ETag: " + eTag + "\r\n"));
    }
    if (plain && fault != HttpFault::IgnoreRanges && from > 0 && from < bytes.size() && ifRange == eTag) {
      const size_t first = fault == HttpFault::WrongRange ? 0 : from;
      return SendAll(fd, Head(206, "Partial Content",
                              "Content-Range: bytes " + std::to_string(first) + "-" +
                                  std::to_string(bytes.size() - 1) + "/" + std::to_string(bytes.size()) +
                                  "\r\nContent-Length: " + std::to_string(bytes.size() - first) +
                                  "\r\nETag: " + eTag + "\r\n") +
                             bytes.substr(first));
    }
  }

  switch (fault) {
    case HttpFault::None:
    case HttpFault::IgnoreRanges:
    case HttpFault::WrongRange:
      return SendAll(fd, Head(200, "OK", length) + bytes);
    case HttpFault::NotFound: {
      std::string page = "<html><body>Not Found</body></html>";
      return SendAll(
          fd, Head(404, "Not Found", "Content-Length: " + std::to_string(page.size()) + "\r\n") + page);
    }
    case HttpFault::Moved:
    case HttpFault::Found: {
      // A page whose length is announced and sent whole, like a real one.
      std::string page = "<html><body>Moved</body></html>";
      bool permanent = fault == HttpFault::Moved;
      return SendAll(fd, Head(permanent ? 301 : 302, permanent ? "Moved Permanently" : "Found",
                              "Location: " + request.path +
                                  "\r\nContent-Length: " + std::to_string(page.size()) + "\r\n") +
                             page);
    }
    case HttpFault::ServerError: {
      std::string page = "<html><body>Internal Server Error</body></html>";
      return SendAll(
          fd, Head(500, "Internal Server Error", "Content-Length: " + std::to_string(page.size()) + "\r\n") +
                  page);
    }
    case HttpFault::ShortBody:
      SendAll(fd, Head(200, "OK", length) + std::string(half));
      return false;
    case HttpFault::NoLength:
      SendAll(fd, Head(200, "OK", "Connection: close\r\n") + bytes);
      return false;
    case HttpFault::BadLength: {
      std::string value;
      {
        std::lock_guard lock(mutex_);
        value = badLength_;
      }
      SendAll(fd, Head(200, "OK", "Content-Length: " + value + "\r\n") + bytes);
      return false;
    }
    case HttpFault::ResetMidBody: {
      SendAll(fd, Head(200, "OK", length) + std::string(half));
      linger abort{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
      reset = true;
      return false;
    }
    case HttpFault::Stall:
      if (!SendAll(fd, Head(200, "OK", length) + std::string(half))) return false;
      [[fallthrough]];
    case HttpFault::StallHeaders: {
      // Silent until the client closes (or the server stops).
      char sink[1024];
      while (WaitReadable(fd, -1) && ::recv(fd, sink, sizeof sink, 0) > 0) {
      }
      return false;
    }
    case HttpFault::Trickle: {
      size_t step;
      std::chrono::milliseconds interval;
      {
        std::lock_guard lock(mutex_);
        step = trickleStep_;
        interval = trickleInterval_;
      }
      if (!SendAll(fd, Head(200, "OK", length))) return false;
      for (size_t pos = 0; pos < bytes.size(); pos += step) {
        if (!SendAll(fd, std::string_view(bytes).substr(pos, step))) return false;
        // The body is over: the client's next request on this connection is answered.
        if (pos + step >= bytes.size()) break;
        // Sleeps the interval, but ends at once when the client goes away.
        pollfd fds[2] = {Watch(fd), Watch(stopFd_)};
        if (Poll(fds, 2, static_cast<int>(interval.count())) != 0) return false;
      }
      return true;
    }
  }
  return false;
}

}  // namespace sorana::test
