#include "download/http_transfer.h"

#include <filesystem>

#include "platform/no_follow.h"

namespace sorana::download {

namespace {

std::string TrimBlanks(std::string_view text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

// The path text of LocalFile: UTF-8 on Windows, as every text of the program;
// the bytes as they are on Linux.
std::filesystem::path HostPath(const std::string& text) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
#else
  return std::filesystem::path(text);
#endif
}

}  // namespace

HttpTransfer::~HttpTransfer() {
  if (file_ != nullptr) std::fclose(file_);
}

bool HttpTransfer::HeaderLine(std::string_view line) {
  Touch();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    // A new response begins (after an interim 1xx one, say). Redirects are not
    // followed: a 3xx page is no component, and neither is anything else but a success.
    size_t blank = line.find(' ');
    statusLine_ = TrimBlanks(line.substr(blank == std::string_view::npos ? line.size() : blank));
    status_ = 0;
    for (char ch : statusLine_) {
      if (ch < '0' || ch > '9' || status_ > 999) break;
      status_ = status_ * 10 + (ch - '0');
    }
    failedStatus_ = status_ < 200 || status_ > 299 ? status_ : 0;
    return true;
  }
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return true;
  std::string field(line.substr(0, colon));
  std::string value = TrimBlanks(line.substr(colon + 1));
  return !owner_.OnHeader || Guard([&] { owner_.OnHeader(field, value); });
}

bool HttpTransfer::OpenFile() {
  if (file_ != nullptr) return true;
  file_ = platform::host::OpenForOverwrite(HostPath(path_));  // never through a planted link
  if (file_ == nullptr) {
    localError_ = "Cannot write " + path_;
    return false;
  }
  fileCreated_ = true;
  return true;
}

void HttpTransfer::StartOnce() {
  if (started_) return;
  started_ = true;
  if (owner_.OnStartTransfer) Guard([&] { owner_.OnStartTransfer(kDirectionReceive); });
}

bool HttpTransfer::Body(const char* data, size_t length) {
  Touch();
  if (failedStatus_ != 0) return true;  // an error page is never kept
  if (!OpenFile()) return false;
  StartOnce();
  if (handlerError_) return false;
  if (std::fwrite(data, 1, length, file_) != length) {
    localError_ = "Cannot write " + path_;
    return false;
  }
  bytes_ += static_cast<int64_t>(length);
  return !owner_.OnTransfer ||
         Guard([&] { owner_.OnTransfer(kDirectionReceive, bytes_, std::string_view(data, length)); });
}

bool HttpTransfer::CloseFile() {
  if (file_ == nullptr) return true;
  bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!closed && localError_.empty()) localError_ = "Cannot write " + path_;
  return closed;
}

bool HttpTransfer::EnsureFile() {
  if (fileCreated_) return true;
  return OpenFile() && CloseFile();
}

void HttpTransfer::DiscardFile() {
  CloseFile();
  std::error_code ignored;
  if (fileCreated_) std::filesystem::remove(HostPath(path_), ignored);
}

}  // namespace sorana::download
