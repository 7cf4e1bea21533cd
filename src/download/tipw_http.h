// TipwHTTP: the updater's HTTP client component, a thin class over the host's
// HTTP library (libcurl on Linux, WinHTTP on Windows; see http_transport.h).
//
// Fetch blocks on the caller's (the window's) thread while it waits on the
// library with a bounded wait and hands the time between waits to
// MessagePump, so the window stays responsive and a StopTransfer from a click
// ends the transfer within a poll interval. The events fire on the same thread.
// One instance keeps its connection alive from fetch to fetch; nothing else of
// one fetch carries over to the next.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sorana::download {

class HttpTransport;
class HttpTransfer;

// A failed operation of the component: a code and the text shown to the user.
// Codes below 100 are libcurl's (Linux), 12001-12199 WinHTTP's (Windows),
// 100-599 the HTTP status of a response that is no success (2xx), and the
// component's own failures use the codes below.
class EipwHTTP : public std::runtime_error {
 public:
  EipwHTTP(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int Code() const { return code_; }

  static constexpr int kStopped = 2001;      // StopTransfer ended the fetch
  static constexpr int kIdleTimeout = 2002;  // nothing received for the idle limit
  static constexpr int kBusy = 2003;         // a fetch is already running
  static constexpr int kLocalFile = 2004;    // LocalFile cannot be written
  static constexpr int kHandler = 2005;      // an event handler failed
  static constexpr int kTooSlow = 2006;      // a body slower than the stall limit
  static constexpr int kBadRange = 2007;     // a partial answer that does not continue LocalFile
  static constexpr int kTooLong = 2008;      // a file longer than MaxLength
  static constexpr int kProxyLogin = 407;    // the proxy asks for a login (the HTTP status)

 private:
  int code_;
};

class TipwHTTP {
 public:
  TipwHTTP();
  ~TipwHTTP();
  TipwHTTP(const TipwHTTP&) = delete;
  TipwHTTP& operator=(const TipwHTTP&) = delete;

  // Proxy host; empty means none configured, and then the host's own setting
  // applies as in other programs: http_proxy / https_proxy / no_proxy on Linux,
  // on Windows the user's settings: their automatic configuration script or
  // detection for each URL, else their proxy server and bypass list.
  std::string ProxyServer;
  int ProxyPort = 80;     // 0 means the default, 80
  std::string LocalFile;  // host path that receives the response body
  // A login for a proxy that asks for one (407), offered in whichever scheme
  // the proxy names: Basic, Digest, NTLM or Negotiate.
  std::string ProxyUser;
  std::string ProxyPassword;

  // Asking again for a LocalFile kept from an earlier fetch. With IfNoneMatch
  // (the kept file's entity tag) or IfModifiedSince (its Last-Modified), a
  // 304 answer leaves LocalFile as it is, fires no transfer events and sets
  // NotModified. With StartByte > 0, LocalFile holds the first StartByte bytes
  // of the entity that IfRange names: only the rest is asked for; a 206 that
  // continues at StartByte is appended, a 200 (changed, or ranges ignored)
  // rewrites LocalFile from its start, and any other partial answer raises
  // kBadRange with LocalFile untouched.
  std::string IfNoneMatch;
  std::string IfModifiedSince;
  int64_t StartByte = 0;
  std::string IfRange;
  // A failed fetch leaves what arrived in LocalFile (it is removed otherwise).
  bool KeepPartial = false;
  // The longest the whole file may be, -1 for no bound: a longer announced
  // length ends the fetch before its body, a longer body is cut at the bound;
  // either raises kTooLong.
  int64_t MaxLength = -1;

  // The final response of the latest fetch, also of a failed one.
  struct Response {
    int status = 0;    // 0 when no response began
    std::string eTag;  // as the server sent it, quotes and W/ included
    std::string lastModified;
    int64_t entityLength = -1;  // the whole file's length (of a 206 too); -1 unknown
    bool written = false;       // LocalFile was rewritten or continued for it
  };
  const Response& LastResponse() const { return response_; }
  bool NotModified() const { return response_.status == 304; }

  // Events, fired on the calling thread while Fetch runs. A handler may call
  // StopTransfer; an exception it throws becomes the fetch's error.
  std::function<void(const std::string& Field, const std::string& Value)> OnHeader;
  std::function<void(int Direction)> OnStartTransfer;
  std::function<void(int Direction, int64_t BytesTransferred, std::string_view Text)> OnTransfer;
  std::function<void(int Direction)> OnEndTransfer;
  std::function<void(int ErrorCode, const std::string& Description)> OnError;

  // Called between polls while Fetch waits, with the longest time it may block.
  std::function<void(int maxWaitMs)> MessagePump;

  // Ready for a new request: properties back to their defaults. While a fetch
  // runs, that fetch still ends as a running StopTransfer would have it.
  void ClearState();
  // Retrieves `url` into LocalFile; returns when the transfer is over. Raises
  // EipwHTTP on failure, on a final HTTP status outside 2xx (redirects are not
  // followed, and the body is then not kept as LocalFile) and after StopTransfer. A body that ends before its
  // announced length is not an error: OnEndTransfer reports it with the bytes
  // received.
  void Fetch(const std::string& url);
  // The same fetch in steps, for a transfer that runs beside another one on
  // the same thread: Begin starts it; Poll moves it on, waiting at most
  // `maxWaitMs`, and is true once it is over (it never pumps messages); End
  // then returns or raises as Fetch would have. Events fire inside Poll and End.
  void Begin(const std::string& url);
  bool Poll(int maxWaitMs);
  void End();
  // Ends the running fetch soon (it raises EipwHTTP with kStopped).
  void StopTransfer();
  // True while a fetch runs.
  bool InUse() const { return inUse_; }

  // Limits: opening a connection, and silence while a request is running.
  void SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle);
  // A body that brings less than `bytesPerSecond` over any `window` is ended
  // with kTooSlow: a trickle that is never silent for the idle limit.
  void SetStallLimit(int64_t bytesPerSecond, std::chrono::milliseconds window);
  // Longest single poll; bounds how soon a stop takes effect.
  static constexpr int kPollMs = 20;

 private:
  void Pump(std::chrono::steady_clock::time_point& lastPump);
  [[noreturn]] void Fail(HttpTransfer& transfer, int code, const std::string& message);
  void FailOnHandlerError(HttpTransfer& transfer);

  friend class HttpTransfer;  // fills response_

  std::unique_ptr<HttpTransport> transport_;  // the host's library; holds the kept-alive connection
  bool inUse_ = false;
  bool stopRequested_ = false;
  std::chrono::milliseconds connectTimeout_{30000};
  std::chrono::milliseconds idleTimeout_{60000};
  int64_t stallRate_ = 1024;
  std::chrono::milliseconds stallWindow_{60000};
  Response response_;
  // The fetch in progress, between Begin and End.
  struct Running;
  std::unique_ptr<Running> running_;
};

}  // namespace sorana::download
