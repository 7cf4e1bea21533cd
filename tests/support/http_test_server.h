// A small HTTP/1.1 server on loopback for tests: serves the files of a folder
// with keep-alive, answers requests in absolute form too (so it serves as a
// proxy), records every request and counts connections, and injects faults per
// file name.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sorana::test {

enum class HttpFault {
  None,          // 200 with the file and its Content-Length; 404 when missing
  NotFound,      // 404 with a small error page
  Moved,         // 301 back to the same path, with a small page
  Found,         // 302 back to the same path, with a small page
  ServerError,   // 500 with a small error page
  ShortBody,     // the full Content-Length, half the body, then a clean close
  NoLength,      // no Content-Length: the body up to the close of the connection
  BadLength,     // Content-Length with a value that is not a number (SetBadLength)
  ResetMidBody,  // half the body, then a connection reset
  Stall,         // headers and half the body, then silence until the client leaves
  StallHeaders,  // no answer at all until the client leaves
  Trickle,       // the whole body in small steps (SetTrickle)
  IgnoreRanges,  // with validators: a range request gets the whole file (200)
  WrongRange,    // with validators: a range request gets 206 from the file's start
};

struct HttpRequest {
  std::string requestLine;                     // "GET /a HTTP/1.1"
  std::string target;                          // as sent: origin or absolute form
  std::string path;                            // decoded path, without scheme, host and query
  std::map<std::string, std::string> headers;  // names in lower case
  int connection = 0;                          // 1-based number of the connection it came on
};

class HttpTestServer {
 public:
  explicit HttpTestServer(std::filesystem::path root);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  int Port() const { return port_; }
  std::string BaseUrl() const;  // "http://127.0.0.1:<port>"
  const std::filesystem::path& Root() const { return root_; }

  // Fault for requests whose path ends in "/" + fileName (or equals it).
  void SetFault(const std::string& fileName, HttpFault fault);
  // Fault for every request without a fault of its own.
  void SetDefaultFault(HttpFault fault);
  void SetBadLength(std::string value);
  void SetTrickle(size_t bytesPerStep, std::chrono::milliseconds interval);
  // Gives each file an entity tag (of its bytes) and answers If-None-Match
  // (304) and Range with If-Range (206), as a real server does.
  void SetValidators(bool on);
  // Answers one request per connection and closes it `delay` after the
  // response, without announcing it (no "Connection: close"), as some servers
  // and proxies do; a request sent meanwhile is never answered. Zero: keep-alive.
  void SetCloseAfterResponse(std::chrono::milliseconds delay);
  // Serves at most `count` connections at once and resets every further one
  // as soon as it is accepted, as a server or proxy with a per-client limit
  // does. Zero: no limit.
  void SetConnectionLimit(int count);

  std::vector<HttpRequest> Requests() const;
  std::vector<std::string> RequestLines() const;
  int ConnectionCount() const { return connections_.load(); }
  int RefusedConnections() const { return refused_.load(); }
  // Responses being sent now (a trickle counts until the client leaves).
  int Responding() const { return responding_.load(); }
  // Waits until no response is being sent; false on time-out.
  bool WaitForNoneResponding(std::chrono::milliseconds timeout) const;
  // Waits until at least `count` requests have arrived; false on time-out.
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;

 private:
  void AcceptLoop();
  void Serve(int fd, int connection);
  // False when the connection must close; `reset` when it is to be reset.
  bool Respond(int fd, const HttpRequest& request, bool& reset);
  HttpFault FaultFor(const std::string& path) const;
  // Waits until the socket has data or is closed, the server stops, or the
  // time-out passes (negative: no time-out). False once the server stops.
  bool WaitReadable(int fd, int timeoutMs) const;

  std::filesystem::path root_;
  int listenFd_ = -1;
  int stopFd_ = -1;  // readable once the server stops: an eventfd, on Windows a datagram socket
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::atomic<int> refused_{0};
  std::atomic<int> responding_{0};
  int connectionLimit_ = 0;
  std::atomic<bool> stopping_{false};

  mutable std::mutex mutex_;
  mutable std::condition_variable requestArrived_;
  std::vector<HttpRequest> requests_;
  std::map<std::string, HttpFault> faults_;
  HttpFault defaultFault_ = HttpFault::None;
  std::string badLength_ = "12abc";
  size_t trickleStep_ = 16;
  bool validators_ = false;
  std::chrono::milliseconds trickleInterval_{50};
  std::chrono::milliseconds closeAfterResponse_{0};

  std::thread acceptThread_;
  std::vector<std::thread> connectionThreads_;
  std::vector<int> openFds_;
};

}  // namespace sorana::test
