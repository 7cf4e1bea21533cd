#include "download/tipw_http.h"

#include "product_version.h"

#include <curl/curl.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>

#include "platform/no_follow.h"

namespace sorana::download {

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kBufferSize = 128L * 1024;
constexpr int kDirectionReceive = 1;

void GlobalInitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string TrimBlanks(std::string_view text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

}  // namespace

// What one Fetch collects from libcurl's callbacks.
struct TipwHTTP::Transfer {
  TipwHTTP* owner = nullptr;
  CURL* easy = nullptr;
  std::FILE* file = nullptr;
  bool fileCreated = false;
  bool started = false;
  bool statusChecked = false;
  long failedStatus = 0;   // status outside 2xx: the body is discarded
  std::string statusLine;  // of the latest response, for the error text
  int64_t bytes = 0;
  Clock::time_point lastActivity = Clock::now();
  std::exception_ptr handlerError;  // thrown by an event handler inside a callback
  std::string path;                 // LocalFile as it was when the fetch began
  std::string localError;           // LocalFile could not be written

  // Runs an event handler inside a libcurl callback, where no exception may pass.
  template <typename F>
  bool Guard(F&& call) {
    try {
      call();
      return true;
    } catch (...) {
      handlerError = std::current_exception();
      return false;
    }
  }

  void CheckStatus() {
    if (statusChecked) return;
    statusChecked = true;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    // Redirects are not followed: a 3xx page is no component, and neither is
    // anything else but a success.
    if (status < 200 || status > 299) failedStatus = status;
  }

  bool OpenFile() {
    if (file != nullptr) return true;
    file = platform::host::OpenForOverwrite(path);  // never through a planted link
    if (file == nullptr) {
      localError = "Cannot write " + path;
      return false;
    }
    fileCreated = true;
    return true;
  }

  bool StartOnce() {
    if (started) return true;
    started = true;
    return !owner->OnStartTransfer || Guard([&] { owner->OnStartTransfer(kDirectionReceive); });
  }

  static size_t OnHeaderData(char* data, size_t size, size_t count, void* self) {
    auto& t = *static_cast<Transfer*>(self);
    size_t length = size * count;
    t.lastActivity = Clock::now();
    std::string_view line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
      // A new response begins (after an interim 1xx one, say).
      t.statusLine =
          TrimBlanks(line.substr(line.find(' ') == std::string_view::npos ? line.size() : line.find(' ')));
      t.statusChecked = false;
      t.failedStatus = 0;
      return length;
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return length;
    std::string field(line.substr(0, colon));
    std::string value = TrimBlanks(line.substr(colon + 1));
    if (t.owner->OnHeader && !t.Guard([&] { t.owner->OnHeader(field, value); })) return 0;
    return length;
  }

  static size_t OnBodyData(char* data, size_t size, size_t count, void* self) {
    auto& t = *static_cast<Transfer*>(self);
    size_t length = size * count;
    t.lastActivity = Clock::now();
    t.CheckStatus();
    if (t.failedStatus != 0) return length;  // an error page is never kept
    if (!t.OpenFile() || !t.StartOnce()) return 0;
    if (std::fwrite(data, 1, length, t.file) != length) {
      t.localError = "Cannot write " + t.path;
      return 0;
    }
    t.bytes += static_cast<int64_t>(length);
    if (t.owner->OnTransfer &&
        !t.Guard([&] { t.owner->OnTransfer(kDirectionReceive, t.bytes, std::string_view(data, length)); })) {
      return 0;
    }
    return length;
  }
};

TipwHTTP::TipwHTTP() {
  GlobalInitOnce();
  multi_ = curl_multi_init();
  if (multi_ == nullptr) throw EipwHTTP(CURLE_FAILED_INIT, "Cannot start libcurl");
}

TipwHTTP::~TipwHTTP() {
  if (multi_ != nullptr) curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

void TipwHTTP::ClearState() {
  ProxyServer.clear();
  ProxyPort = 80;
  LocalFile.clear();
}

void TipwHTTP::StopTransfer() { stopRequested_ = inUse_; }

void TipwHTTP::SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle) {
  connectTimeout_ = connect;
  idleTimeout_ = idle;
}

void TipwHTTP::Configure(const std::string& url, Transfer& transfer, char* errorText) {
  CURL* easy = transfer.easy;
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kBufferSize);
  curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  // libcurl keeps its own copy of the text.
  curl_easy_setopt(easy, CURLOPT_USERAGENT, (std::string("SoranaUpdater/") + kProductVersion).c_str());
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeaderData);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBodyData);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout_.count()));
  if (ProxyServer.empty()) {
    // Unset: libcurl then takes http_proxy, https_proxy and no_proxy from the environment.
    curl_easy_setopt(easy, CURLOPT_PROXY, nullptr);
    curl_easy_setopt(easy, CURLOPT_NOPROXY, nullptr);
  } else {
    // A configured proxy serves every host.
    curl_easy_setopt(easy, CURLOPT_PROXY, ProxyServer.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYPORT, static_cast<long>(ProxyPort == 0 ? 80 : ProxyPort));
    curl_easy_setopt(easy, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
  }
}

void TipwHTTP::Pump(Clock::time_point& lastPump) {
  // Fast transfers return from the poll at once; the window does not need its
  // messages processed more often than this.
  constexpr auto kPumpInterval = std::chrono::milliseconds(5);
  Clock::time_point now = Clock::now();
  if (!MessagePump || now - lastPump < kPumpInterval) return;
  lastPump = now;
  MessagePump(0);
}

void TipwHTTP::Fetch(const std::string& url) {
  if (inUse_) throw EipwHTTP(EipwHTTP::kBusy, "A transfer is already in progress");
  CURLM* multi = static_cast<CURLM*>(multi_);
  char errorText[CURL_ERROR_SIZE] = {};  // outlives the handle that writes it
  // A fresh handle per fetch: libcurl keeps per-handle state across requests
  // (its count of retries on connections that died, for one), and a setting
  // of one fetch must not outlive it. The connections stay in the multi
  // handle's cache, so keep-alive is not lost.
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), &curl_easy_cleanup);
  if (handle == nullptr) throw EipwHTTP(CURLE_FAILED_INIT, "Cannot start libcurl");
  CURL* easy = handle.get();

  Transfer transfer;
  transfer.owner = this;
  transfer.easy = easy;
  transfer.path = LocalFile;
  Configure(url, transfer, errorText);

  inUse_ = true;
  stopRequested_ = false;
  bool idleExpired = false;
  std::exception_ptr pumpError;
  bool done = false;
  CURLcode result = CURLE_OK;
  CURLMcode multiResult = curl_multi_add_handle(multi, easy);
  Clock::time_point lastPump = Clock::now() - std::chrono::hours(1);
  while (multiResult == CURLM_OK) {
    int running = 0;
    multiResult = curl_multi_perform(multi, &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE) {
        done = true;
        result = message->data.result;
      }
    }
    if (done || multiResult != CURLM_OK || stopRequested_) break;
    if (Clock::now() - transfer.lastActivity > idleTimeout_) {
      idleExpired = true;
      break;
    }
    multiResult = curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
    try {
      Pump(lastPump);
    } catch (...) {
      // Raised by whatever ran in the pump: end the transfer, then let it go on.
      pumpError = std::current_exception();
      break;
    }
    if (stopRequested_) break;
  }
  // Removing an unfinished transfer closes its connection; a finished one
  // stays in the cache for the next fetch.
  curl_multi_remove_handle(multi, easy);

  if (transfer.file != nullptr && std::fclose(transfer.file) != 0 && transfer.localError.empty()) {
    transfer.localError = "Cannot write " + transfer.path;
  }
  transfer.file = nullptr;

  // A failed fetch leaves no partial file behind.
  auto discard = [&] {
    inUse_ = false;
    stopRequested_ = false;
    std::error_code ignored;
    if (transfer.fileCreated) std::filesystem::remove(transfer.path, ignored);
  };
  auto fail = [&](int code, const std::string& message) {
    discard();
    throw EipwHTTP(code, message);
  };

  if (pumpError) {
    discard();
    std::rethrow_exception(pumpError);
  }

  if (multiResult != CURLM_OK) fail(CURLE_FAILED_INIT, curl_multi_strerror(multiResult));
  if (stopRequested_) fail(EipwHTTP::kStopped, "The transfer was stopped");
  if (idleExpired) {
    fail(EipwHTTP::kIdleTimeout,
         "No data received from the server for " + std::to_string(idleTimeout_.count() / 1000) + " seconds");
  }
  auto failOnHandlerError = [&] {
    if (!transfer.handlerError) return;
    try {
      std::rethrow_exception(transfer.handlerError);
    } catch (const EipwHTTP& error) {
      fail(error.Code(), error.what());
    } catch (const std::exception& error) {
      fail(EipwHTTP::kHandler, error.what());
    } catch (...) {
      fail(EipwHTTP::kHandler, "An event handler failed");
    }
  };
  failOnHandlerError();
  if (!transfer.localError.empty()) {
    // Reported through the error event as well: it is not a communication error.
    if (OnError) transfer.Guard([&] { OnError(EipwHTTP::kLocalFile, transfer.localError); });
    fail(EipwHTTP::kLocalFile, transfer.localError);
  }
  if (result != CURLE_OK && result != CURLE_PARTIAL_FILE) {
    fail(result, errorText[0] != '\0' ? errorText : curl_easy_strerror(result));
  }
  transfer.CheckStatus();
  if (transfer.failedStatus != 0) {
    fail(static_cast<int>(transfer.failedStatus),
         transfer.statusLine.empty() ? "HTTP " + std::to_string(transfer.failedStatus) : transfer.statusLine);
  }
  // The body is over, whole or short of its announced length; an empty body
  // still makes an (empty) LocalFile.
  if (!transfer.fileCreated) {
    if (!transfer.OpenFile()) fail(EipwHTTP::kLocalFile, transfer.localError);
    if (std::fclose(transfer.file) != 0) fail(EipwHTTP::kLocalFile, "Cannot write " + transfer.path);
    transfer.file = nullptr;
  }
  transfer.StartOnce();
  if (!transfer.handlerError && OnEndTransfer) transfer.Guard([&] { OnEndTransfer(kDirectionReceive); });
  failOnHandlerError();
  inUse_ = false;
  stopRequested_ = false;
}

}  // namespace sorana::download
