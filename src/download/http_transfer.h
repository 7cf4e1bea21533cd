// What one TipwHTTP::Fetch collects, whichever host library moves the bytes:
// the status of the response, its headers and body handed to the events, and
// LocalFile. The transports feed it header lines and body blocks; the fetch
// reads the outcome from it.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "download/tipw_http.h"

namespace sorana::download {

class HttpTransfer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kDirectionReceive = 1;  // the Direction of every event: a download

  HttpTransfer(TipwHTTP& owner, std::string path) : owner_(owner), path_(std::move(path)) {}
  ~HttpTransfer();
  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  // One line of a response head, without its line end: a status line
  // ("HTTP/1.1 200 OK", which begins a new response) or a "Field: Value" line.
  // False when the OnHeader handler failed: the transfer must end.
  bool HeaderLine(std::string_view line);
  // A block of the body. False when the transfer must end (LocalFile cannot be
  // written, or a handler failed). The body of a failed status is read and dropped.
  bool Body(const char* data, size_t length);

  // After the transport is done: the file closed; false when that failed.
  bool CloseFile();
  // Removes a LocalFile that this fetch created (a failed fetch leaves none).
  void DiscardFile();
  // The status outside 2xx of the latest response, 0 for a success.
  long FailedStatus() const { return failedStatus_; }
  const std::string& StatusLine() const { return statusLine_; }
  // An empty body still makes an (empty) LocalFile; false when it cannot be made.
  bool EnsureFile();
  // OnStartTransfer once, before the end when no body came.
  void StartOnce();

  // Runs an event handler where no exception may pass; false when it threw.
  template <typename F>
  bool Guard(F&& call) {
    try {
      call();
      return true;
    } catch (...) {
      handlerError_ = std::current_exception();
      return false;
    }
  }

  std::exception_ptr HandlerError() const { return handlerError_; }
  const std::string& LocalError() const { return localError_; }
  const std::string& Path() const { return path_; }
  Clock::time_point LastActivity() const { return lastActivity_; }
  void Touch() { lastActivity_ = Clock::now(); }

 private:
  bool OpenFile();

  TipwHTTP& owner_;
  std::string path_;  // LocalFile as it was when the fetch began
  std::FILE* file_ = nullptr;
  bool fileCreated_ = false;
  bool started_ = false;
  long status_ = 0;
  long failedStatus_ = 0;   // status outside 2xx: the body is discarded
  std::string statusLine_;  // of the latest response, for the error text
  int64_t bytes_ = 0;
  Clock::time_point lastActivity_ = Clock::now();
  std::exception_ptr handlerError_;  // thrown by an event handler inside a transport
  std::string localError_;           // LocalFile could not be written
};

}  // namespace sorana::download
