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

  // What the fetch asked for, as it was when it began (a cancel clears the owner's properties).
  struct Asked {
    bool conditional = false;  // a 304 means LocalFile is current
    int64_t startByte = 0;     // only the rest after this many bytes of LocalFile
    bool keepPartial = false;  // a failed fetch leaves what arrived
    int64_t maxLength = -1;    // the longest the whole file may be; -1 unbounded
  };

  HttpTransfer(TipwHTTP& owner, std::string path, Asked asked)
      : owner_(owner), path_(std::move(path)), asked_(asked) {}
  ~HttpTransfer();
  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  // One line of a response head, with or without its line end: a status line
  // ("HTTP/1.1 200 OK", which begins a new response), a "Field: Value" line or
  // the blank line that ends the head. False when the transfer must end (the
  // OnHeader handler failed, LocalFile cannot be opened, a partial answer
  // does not continue it).
  bool HeaderLine(std::string_view line);
  // A block of the body. False when the transfer must end (LocalFile cannot be
  // written, or a handler failed). The body of a failed status is read and dropped.
  bool Body(const char* data, size_t length);

  // After the transport is done: the file closed; false when that failed.
  bool CloseFile();
  // Removes a LocalFile that this fetch wrote (a failed fetch leaves none,
  // unless KeepPartial asks for what arrived).
  void DiscardFile();
  // The status outside 2xx of the latest response, 0 for a success (a 304
  // to a conditional request is one).
  long FailedStatus() const { return failedStatus_; }
  // A 206 that does not continue LocalFile at StartByte; its text.
  const std::string& RangeError() const { return rangeError_; }
  // A file longer than Asked::maxLength; its text.
  const std::string& LengthError() const { return lengthError_; }
  int64_t BodyBytes() const { return bytes_; }
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
  // The head of a final response is over: LocalFile is opened as it says.
  bool HeadEnded();
  // False (with LengthError) when a file of `length` bytes exceeds the bound.
  bool WithinBound(int64_t length);
  bool OpenFile(uint64_t keep);
  void Field(std::string_view field, const std::string& value);

  TipwHTTP& owner_;
  std::string path_;  // LocalFile as it was when the fetch began
  Asked asked_;
  std::FILE* file_ = nullptr;
  bool fileCreated_ = false;
  bool started_ = false;
  long status_ = 0;
  long failedStatus_ = 0;   // status outside 2xx: the body is discarded
  bool headEnded_ = false;  // of the final response
  std::string contentRange_;
  int64_t contentLength_ = -1;
  std::string rangeError_;
  std::string lengthError_;
  std::string statusLine_;  // of the latest response, for the error text
  int64_t bytes_ = 0;
  Clock::time_point lastActivity_ = Clock::now();
  std::exception_ptr handlerError_;  // thrown by an event handler inside a transport
  std::string localError_;           // LocalFile could not be written
};

}  // namespace sorana::download
