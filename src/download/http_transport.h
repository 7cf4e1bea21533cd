// The host's side of TipwHTTP: the library that moves the bytes of one request
// at a time (libcurl on Linux, WinHTTP on Windows). One transport lives as long
// as its TipwHTTP and keeps its connections alive from request to request;
// nothing else of a request outlives it.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sorana::download {

class HttpTransfer;

// How one request is made.
struct HttpRequest {
  std::string url;
  std::string proxyServer;  // empty: the host's own proxy setting
  int proxyPort = 80;
  std::string proxyUser;  // a login for a proxy that asks for one; empty: none
  std::string proxyPassword;
  std::vector<std::string> headers;  // further request header lines, "Field: value"
  std::chrono::milliseconds connectTimeout{30000};
  std::chrono::milliseconds idleTimeout{60000};
};

// How a request ended: code 0 when the body is over (whole or short of its
// announced length), else the library's code and text.
struct HttpOutcome {
  int code = 0;
  std::string text;
};

class HttpTransport {
 public:
  // The transport of this host; raises EipwHTTP when its library cannot start.
  static std::unique_ptr<HttpTransport> Create();
  virtual ~HttpTransport() = default;

  // Begins a request whose head and body go to `transfer` (which outlives it).
  // A failure to begin is an outcome of the first Step.
  virtual void Start(const HttpRequest& request, HttpTransfer& transfer) = 0;
  // Moves the request on, waiting at most `maxWaitMs` for the network; the
  // outcome once it is over (also when `transfer` refused a block), nullopt
  // while it runs. Events reach `transfer` on the calling thread only.
  virtual std::optional<HttpOutcome> Step(int maxWaitMs) = 0;
  // Ends the request, over or not; an unfinished one loses its connection.
  virtual void Finish() = 0;
};

}  // namespace sorana::download
