// TipwHTTP's transport on Linux: libcurl's multi interface. The multi handle
// holds the connection cache; every request gets a fresh easy handle.
#include <curl/curl.h>

#include <mutex>

#include "download/http_transfer.h"
#include "download/http_transport.h"
#include "product_version.h"

namespace sorana::download {

namespace {

constexpr long kBufferSize = 128L * 1024;

void GlobalInitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t OnHeaderData(char* data, size_t size, size_t count, void* self) {
  size_t length = size * count;
  return static_cast<HttpTransfer*>(self)->HeaderLine(std::string_view(data, length)) ? length : 0;
}

size_t OnBodyData(char* data, size_t size, size_t count, void* self) {
  size_t length = size * count;
  return static_cast<HttpTransfer*>(self)->Body(data, length) ? length : 0;
}

class CurlTransport final : public HttpTransport {
 public:
  CurlTransport() {
    GlobalInitOnce();
    multi_ = curl_multi_init();
    if (multi_ == nullptr) throw EipwHTTP(CURLE_FAILED_INIT, "Cannot start libcurl");
  }
  ~CurlTransport() override {
    Finish();
    curl_multi_cleanup(multi_);
  }

  void Start(const HttpRequest& request, HttpTransfer& transfer) override {
    Finish();
    errorText_[0] = '\0';
    outcome_.reset();
    // A fresh handle per request: libcurl keeps per-handle state across requests
    // (its count of retries on connections that died, for one), and a setting
    // of one fetch must not outlive it. The connections stay in the multi
    // handle's cache, so keep-alive is not lost.
    easy_ = curl_easy_init();
    if (easy_ == nullptr) {
      outcome_ = HttpOutcome{CURLE_FAILED_INIT, "Cannot start libcurl"};
      return;
    }
    Configure(request, transfer);
    if (CURLMcode added = curl_multi_add_handle(multi_, easy_); added != CURLM_OK) {
      outcome_ = HttpOutcome{CURLE_FAILED_INIT, curl_multi_strerror(added)};
      curl_easy_cleanup(easy_);
      easy_ = nullptr;
      return;
    }
    added_ = true;
  }

  std::optional<HttpOutcome> Step(int maxWaitMs) override {
    if (outcome_) return outcome_;
    int running = 0;
    CURLMcode result = curl_multi_perform(multi_, &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
      if (message->msg == CURLMSG_DONE) Done(message->data.result);
    }
    if (!outcome_ && result == CURLM_OK) result = curl_multi_poll(multi_, nullptr, 0, maxWaitMs, nullptr);
    if (!outcome_ && result != CURLM_OK) outcome_ = HttpOutcome{CURLE_FAILED_INIT, curl_multi_strerror(result)};
    return outcome_;
  }

  void Finish() override {
    // Removing an unfinished transfer closes its connection; a finished one
    // stays in the cache for the next request.
    if (added_) curl_multi_remove_handle(multi_, easy_);
    added_ = false;
    if (easy_ != nullptr) curl_easy_cleanup(easy_);
    easy_ = nullptr;
    curl_slist_free_all(headers_);
    headers_ = nullptr;
  }

 private:
  void Done(CURLcode result) {
    if (result == CURLE_OK || result == CURLE_PARTIAL_FILE) {
      outcome_ = HttpOutcome{};
    } else {
      outcome_ = HttpOutcome{result, errorText_[0] != '\0' ? errorText_ : curl_easy_strerror(result)};
    }
  }

  void Configure(const HttpRequest& request, HttpTransfer& transfer) {
    CURL* easy = easy_;
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kBufferSize);
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    // libcurl keeps its own copy of the text.
    curl_easy_setopt(easy, CURLOPT_USERAGENT, (std::string("SoranaUpdater/") + kProductVersion).c_str());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeaderData);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBodyData);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText_);
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
    for (const std::string& line : request.headers) headers_ = curl_slist_append(headers_, line.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers_);
    // Any scheme the proxy asks for, with the login given, or the one in
    // http_proxy's URL, or (Negotiate) the user's own tickets.
    curl_easy_setopt(easy, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
    if (!request.proxyUser.empty()) {
      curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, request.proxyUser.c_str());
      curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, request.proxyPassword.c_str());
    }
    if (request.proxyServer.empty()) {
      // Unset: libcurl then takes http_proxy, https_proxy and no_proxy from the environment.
      curl_easy_setopt(easy, CURLOPT_PROXY, nullptr);
      curl_easy_setopt(easy, CURLOPT_NOPROXY, nullptr);
    } else {
      // A configured proxy serves every host.
      curl_easy_setopt(easy, CURLOPT_PROXY, request.proxyServer.c_str());
      curl_easy_setopt(easy, CURLOPT_PROXYPORT, static_cast<long>(request.proxyPort));
      curl_easy_setopt(easy, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
      curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    }
  }

  CURLM* multi_ = nullptr;
  CURL* easy_ = nullptr;
  bool added_ = false;
  curl_slist* headers_ = nullptr;
  std::optional<HttpOutcome> outcome_;
  char errorText_[CURL_ERROR_SIZE] = {};  // outlives the handle that writes it
};

}  // namespace

std::unique_ptr<HttpTransport> HttpTransport::Create() { return std::make_unique<CurlTransport>(); }

}  // namespace sorana::download
