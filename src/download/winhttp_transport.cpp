// TipwHTTP's transport on Windows: WinHTTP in asynchronous mode, one session
// for the life of the component (its connections are kept alive from request
// to request) and a fresh request handle per fetch.
//
// WinHTTP completes the steps of a request on its own threads and reports them
// to a status callback, which starts the next step and queues the response head
// and body blocks; the fetching thread waits on that queue with a bounded wait,
// so it can pump window messages, and a stop closes the request handle, which
// cancels whatever is pending.
#include <windows.h>
#include <winhttp.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "download/http_transfer.h"
#include "download/http_transport.h"
#include "download/tipw_http.h"
#include "download/winhttp_errors.h"
#include "download/winhttp_login.h"
#include "download/winhttp_proxy.h"
#include "download/winhttp_text.h"
#include "product_version.h"

namespace sorana::download {

namespace {

constexpr DWORD kBlockSize = 64 * 1024;
// The worker stops reading while this much is queued and not yet written.
constexpr size_t kQueueLimit = size_t{1024} * 1024;
// WinHTTP's own limit on silence stays behind the component's idle limit,
// which is the one reported.
constexpr int kReceiveMarginMs = 2000;

HttpOutcome LastErrorOutcome() {
  DWORD code = GetLastError();
  return HttpOutcome{static_cast<int>(code), WinHttpErrorText(code)};
}

// A session of WinHTTP with its proxy, which is fixed when the session opens
// (Wine's WinHTTP does not take a proxy set later). Null on failure.
HINTERNET OpenSession(const WinHttpProxy& proxy) {
  std::wstring agent = Wide(std::string("SoranaUpdater/") + kProductVersion);
  bool direct = proxy.server.empty();
  return WinHttpOpen(agent.c_str(), direct ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                     direct ? WINHTTP_NO_PROXY_NAME : proxy.server.c_str(),
                     proxy.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : proxy.bypass.c_str(), WINHTTP_FLAG_ASYNC);
}

bool Configure(HINTERNET request, const HttpRequest& settings) {
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  // Nothing of one response (a cookie, a redirect) carries over to another.
  DWORD disabled = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES;
  int connect = static_cast<int>(settings.connectTimeout.count());
  int idle = static_cast<int>(settings.idleTimeout.count());
  WinHttpProxyLogin::AllowOwnLogin(request);
  return WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never) &&
         WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled) &&
         WinHttpSetTimeouts(request, connect, connect, idle, idle + kReceiveMarginMs);
}

std::optional<std::wstring> RawHead(HINTERNET request) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  std::wstring head(size / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, head.data(),
                           &size, WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  head.resize(size / sizeof(wchar_t));
  return head;
}

// One request, shared by the fetching thread and WinHTTP's callbacks. It lives
// until WinHTTP has closed the request handle, which may be after the fetch.
struct Exchange {
  explicit Exchange(const HttpRequest& settings) : login(settings.proxyUser, settings.proxyPassword) {}

  // Held around every call on the request handle and around its close, so that
  // no call is made on a closed handle (whose value WinHTTP may hand out again).
  std::recursive_mutex gate;
  bool abandoned = false;  // the fetch is over: the callbacks start nothing more
  HINTERNET request = nullptr;
  DWORD_PTR context = 0;  // what the callbacks get, given to every send
  WinHttpProxyLogin login;
  std::vector<char> buffer = std::vector<char>(kBlockSize);  // the one read in flight

  std::mutex queueMutex;  // taken inside the gate, never around a WinHTTP call
  std::condition_variable changed;
  std::deque<std::string> headLines;
  std::deque<std::string> blocks;
  size_t queuedBytes = 0;
  bool paused = false;                 // the queue is full: the fetching thread asks for more
  std::optional<HttpOutcome> outcome;  // once the request is over

  void End(HttpOutcome result) {
    std::lock_guard lock(queueMutex);
    if (!outcome) outcome = std::move(result);
    changed.notify_all();
  }
  // The next block of the body (under the gate).
  void AskForData() {
    if (!WinHttpQueryDataAvailable(request, nullptr)) End(LastErrorOutcome());
  }
  void HeadArrived() {
    // A proxy that asks for a login gets one, and the request goes again.
    if (login.Answer(request)) {
      if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, context)) {
        End(LastErrorOutcome());
      }
      return;
    }
    std::optional<std::wstring> head = RawHead(request);
    if (!head) return End(LastErrorOutcome());
    {
      std::lock_guard lock(queueMutex);
      for (size_t begin = 0; begin < head->size();) {
        size_t end = std::min(head->find(L"\r\n", begin), head->size());
        if (end > begin) headLines.push_back(Narrow(std::wstring_view(*head).substr(begin, end - begin)));
        begin = end + 2;
      }
      headLines.emplace_back();  // the head is over
      changed.notify_all();
    }
    AskForData();
  }
  void BlockArrived(DWORD length) {
    if (length == 0) return End(HttpOutcome{});  // the body is over
    bool full;
    {
      std::lock_guard lock(queueMutex);
      blocks.emplace_back(buffer.data(), length);
      queuedBytes += length;
      full = queuedBytes >= kQueueLimit;
      paused = full;
      changed.notify_all();
    }
    if (!full) AskForData();
  }
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info, DWORD length) {
  auto* holder = reinterpret_cast<std::shared_ptr<Exchange>*>(context);
  if (holder == nullptr) return;
  if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
    delete holder;
    return;
  }
  Exchange& exchange = **holder;
  std::lock_guard gate(exchange.gate);
  if (exchange.abandoned) return;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
      if (!WinHttpReceiveResponse(exchange.request, nullptr)) exchange.End(LastErrorOutcome());
      break;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      exchange.HeadArrived();
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE: {
      DWORD available = *static_cast<DWORD*>(info);
      if (available == 0) {
        exchange.End(HttpOutcome{});
      } else if (!WinHttpReadData(exchange.request, exchange.buffer.data(), std::min(available, kBlockSize),
                                  nullptr)) {
        exchange.End(LastErrorOutcome());
      }
      break;
    }
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      exchange.BlockArrived(length);
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
      DWORD code = static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError;
      exchange.End(HttpOutcome{static_cast<int>(code), WinHttpErrorText(code)});
      break;
    }
    default:
      break;
  }
}

class WinHttpTransport final : public HttpTransport {
 public:
  WinHttpTransport() {
    session_ = OpenSession(sessionProxy_);
    if (session_ == nullptr) {
      HttpOutcome failure = LastErrorOutcome();
      throw EipwHTTP(failure.code, failure.text);
    }
  }
  ~WinHttpTransport() override {
    Finish();
    if (session_ != nullptr) WinHttpCloseHandle(session_);
  }

  void Start(const HttpRequest& settings, HttpTransfer& transfer) override {
    Finish();
    transfer_ = &transfer;
    outcome_.reset();
    exchange_ = std::make_shared<Exchange>(settings);
    std::lock_guard gate(exchange_->gate);
    if (std::optional<HttpOutcome> failure = Open(settings)) outcome_ = failure;
  }

  std::optional<HttpOutcome> Step(int maxWaitMs) override {
    if (outcome_) return outcome_;
    Exchange& exchange = *exchange_;
    std::deque<std::string> lines;
    std::deque<std::string> blocks;
    std::optional<HttpOutcome> over;
    bool resume = false;
    {
      std::unique_lock lock(exchange.queueMutex);
      exchange.changed.wait_for(lock, std::chrono::milliseconds(maxWaitMs), [&] {
        return exchange.outcome || !exchange.headLines.empty() || !exchange.blocks.empty();
      });
      lines.swap(exchange.headLines);
      blocks.swap(exchange.blocks);
      exchange.queuedBytes = 0;
      over = exchange.outcome;  // read after the blocks it follows
      resume = exchange.paused;
      exchange.paused = false;
    }
    // The events run here, on the fetching thread, with nothing locked.
    for (const std::string& line : lines) {
      if (!transfer_->HeaderLine(line)) return outcome_ = HttpOutcome{EipwHTTP::kHandler, "Stopped by a handler"};
    }
    for (const std::string& block : blocks) {
      if (!transfer_->Body(block.data(), block.size())) {
        return outcome_ = HttpOutcome{EipwHTTP::kHandler, "Stopped by a handler"};
      }
    }
    if (over) return outcome_ = over;
    if (resume) {
      std::lock_guard gate(exchange.gate);
      exchange.AskForData();
    }
    return std::nullopt;
  }

  void Finish() override {
    if (exchange_ == nullptr) return;
    {
      // Closing the handle of an unfinished request cancels it, connection and
      // all; a finished one has left its connection to the session.
      std::lock_guard gate(exchange_->gate);
      exchange_->abandoned = true;
      if (exchange_->request != nullptr) WinHttpCloseHandle(exchange_->request);
      exchange_->request = nullptr;
    }
    if (connect_ != nullptr) WinHttpCloseHandle(connect_);
    connect_ = nullptr;
    exchange_.reset();
    transfer_ = nullptr;
  }

 private:
  // Makes the request's handles and sends it (under the gate); a failure is
  // the request's outcome.
  std::optional<HttpOutcome> Open(const HttpRequest& settings) {
    std::wstring url = Wide(settings.url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return LastErrorOutcome();
    std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";
    // One session serves request after request, and keeps their connection,
    // while the proxy stays the same.
    if (WinHttpProxy proxy = proxyChooser_.For(settings); proxy != sessionProxy_ || session_ == nullptr) {
      if (session_ != nullptr) WinHttpCloseHandle(session_);
      session_ = OpenSession(proxy);
      sessionProxy_ = proxy;
      if (session_ == nullptr) return LastErrorOutcome();
    }
    connect_ = WinHttpConnect(session_, host.c_str(), parts.nPort, 0);
    if (connect_ == nullptr) return LastErrorOutcome();
    DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    HINTERNET request = WinHttpOpenRequest(connect_, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    if (request == nullptr) return LastErrorOutcome();
    exchange_->request = request;
    if (!Configure(request, settings)) return LastErrorOutcome();
    // The callbacks hold the exchange until the handle is gone.
    auto* holder = new std::shared_ptr<Exchange>(exchange_);
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(holder);
    if (WinHttpSetStatusCallback(request, OnStatus, WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK ||
        !WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context)) {
      HttpOutcome failure = LastErrorOutcome();
      delete holder;
      return failure;
    }
    exchange_->context = context;
    // Added to the request itself, so that a request sent again with a login carries them too.
    for (const std::string& line : settings.headers) {
      std::wstring header = Wide(line);
      if (!WinHttpAddRequestHeaders(request, header.c_str(), static_cast<DWORD>(header.size()),
                                    WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
        return LastErrorOutcome();
      }
    }
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, context)) {
      return LastErrorOutcome();
    }
    return std::nullopt;
  }

  HINTERNET session_ = nullptr;
  WinHttpProxyChooser proxyChooser_;
  WinHttpProxy sessionProxy_;  // the proxy session_ was opened with
  HINTERNET connect_ = nullptr;
  std::shared_ptr<Exchange> exchange_;
  HttpTransfer* transfer_ = nullptr;
  std::optional<HttpOutcome> outcome_;
};

}  // namespace

std::unique_ptr<HttpTransport> HttpTransport::Create() { return std::make_unique<WinHttpTransport>(); }

}  // namespace sorana::download
