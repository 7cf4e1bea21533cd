#include "download/http_transfer.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>

#include "formats/ascii_case.h"
#include "platform/no_follow.h"
#include "platform/windows_system.h"

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

std::optional<int64_t> ParseCount(std::string_view text) {
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0)
    return std::nullopt;
  return value;
}

struct ContentRange {
  int64_t first, last, length;
};

std::optional<ContentRange> ParseContentRange(std::string_view text) {
  if (!text.starts_with("bytes ")) return std::nullopt;
  text.remove_prefix(6);
  size_t dash = text.find('-');
  size_t slash = text.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash) return std::nullopt;
  std::optional<int64_t> first = ParseCount(text.substr(0, dash));
  std::optional<int64_t> last = ParseCount(text.substr(dash + 1, slash - dash - 1));
  std::optional<int64_t> length = ParseCount(text.substr(slash + 1));
  if (!first || !last || !length || *first > *last || *last >= *length) return std::nullopt;
  return ContentRange{*first, *last, *length};
}

}  // namespace

HttpTransfer::~HttpTransfer() {
  if (file_ != nullptr) std::fclose(file_);
}

bool HttpTransfer::HeaderLine(std::string_view line) {
  Touch();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    // A new response begins (after an interim 1xx one, or a proxy's 407 that
    // the library answers with a login). Redirects are not followed: a 3xx
    // page is no component, and neither is anything else but a success.
    size_t blank = line.find(' ');
    statusLine_ = TrimBlanks(line.substr(blank == std::string_view::npos ? line.size() : blank));
    status_ = 0;
    for (char ch : statusLine_) {
      if (ch < '0' || ch > '9' || status_ > 999) break;
      status_ = status_ * 10 + (ch - '0');
    }
    const bool success = (status_ >= 200 && status_ <= 299) || (status_ == 304 && asked_.conditional);
    failedStatus_ = success ? 0 : status_;
    headEnded_ = false;
    contentRange_.clear();
    contentLength_ = -1;
    owner_.response_ = {};
    owner_.response_.status = static_cast<int>(status_);
    return true;
  }
  if (line.empty()) return status_ < 200 || headEnded_ || HeadEnded();
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return true;
  std::string field(line.substr(0, colon));
  std::string value = TrimBlanks(line.substr(colon + 1));
  Field(field, value);
  return !owner_.OnHeader || Guard([&] { owner_.OnHeader(field, value); });
}

void HttpTransfer::Field(std::string_view field, const std::string& value) {
  const std::string name = formats::AsciiUpper(field);  // field names ignore case
  if (name == "ETAG") {
    owner_.response_.eTag = value;
  } else if (name == "LAST-MODIFIED") {
    owner_.response_.lastModified = value;
  } else if (name == "CONTENT-RANGE") {
    contentRange_ = value;
  } else if (name == "CONTENT-LENGTH") {
    contentLength_ = ParseCount(value).value_or(-1);
  }
}

bool HttpTransfer::HeadEnded() {
  headEnded_ = true;
  if (failedStatus_ != 0 || status_ == 304) return true;
  if (status_ != 206) {
    owner_.response_.entityLength = contentLength_;
    return WithinBound(contentLength_) && OpenFile(0);
  }
  // "bytes FIRST-LAST/LENGTH": only the rest of LocalFile, to the end, continues it.
  std::optional<ContentRange> range = ParseContentRange(contentRange_);
  if (asked_.startByte <= 0) return OpenFile(0);  // nothing was asked for: kept as it came
  if (!range || range->first != asked_.startByte || range->last + 1 != range->length) {
    rangeError_ = "The server answered with another part of the file (Content-Range: " + contentRange_ + ")";
    return false;
  }
  owner_.response_.entityLength = range->length;
  return WithinBound(range->length) && OpenFile(static_cast<uint64_t>(asked_.startByte));
}

bool HttpTransfer::WithinBound(int64_t length) {
  if (asked_.maxLength < 0 || length <= asked_.maxLength) return true;
  lengthError_ = "The file is longer than the " + std::to_string(asked_.maxLength) + " bytes expected";
  return false;
}

bool HttpTransfer::OpenFile(uint64_t keep) {
  if (file_ != nullptr) return true;
  // Never through a planted link.
  platform::Result<std::FILE*> opened = platform::host::OpenForOverwrite(HostPath(path_), keep);
  if (!opened) {
    localError_ = "Cannot write " + path_;
    return false;
  }
  file_ = *opened;
  fileCreated_ = true;
  owner_.response_.written = true;
  return true;
}

void HttpTransfer::StartOnce() {
  if (started_) return;
  started_ = true;
  if (owner_.OnStartTransfer) Guard([&] { owner_.OnStartTransfer(kDirectionReceive); });
}

bool HttpTransfer::Body(const char* data, size_t length) {
  Touch();
  if (failedStatus_ != 0 || status_ == 304) return true;  // an error page is never kept
  if (!headEnded_ && !HeadEnded()) return false;
  if (file_ == nullptr) return false;
  StartOnce();
  if (handlerError_) return false;
  // Beyond the bound nothing is written: the body is cut there.
  const int64_t before = (owner_.response_.status == 206 ? asked_.startByte : 0) + bytes_;
  const bool tooLong = asked_.maxLength >= 0 && before + static_cast<int64_t>(length) > asked_.maxLength;
  if (tooLong) length = static_cast<size_t>(std::max<int64_t>(0, asked_.maxLength - before));
  if (std::fwrite(data, 1, length, file_) != length) {
    localError_ = "Cannot write " + path_;
    return false;
  }
  bytes_ += static_cast<int64_t>(length);
  if (tooLong) return WithinBound(asked_.maxLength + 1);
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
  if (!headEnded_ && !HeadEnded()) return false;
  return OpenFile(0) && CloseFile();
}

void HttpTransfer::DiscardFile() {
  CloseFile();
  std::error_code ignored;
  if (fileCreated_ && !asked_.keepPartial) std::filesystem::remove(HostPath(path_), ignored);
}

}  // namespace sorana::download
