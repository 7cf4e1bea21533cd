#include "download/tipw_http.h"

#include <exception>
#include <optional>

#include "download/http_transfer.h"
#include "download/http_transport.h"

namespace sorana::download {

using Clock = std::chrono::steady_clock;

TipwHTTP::TipwHTTP() : transport_(HttpTransport::Create()) {}

TipwHTTP::~TipwHTTP() = default;

void TipwHTTP::ClearState() {
  ProxyServer.clear();
  ProxyPort = 80;
  LocalFile.clear();
  ProxyUser.clear();
  ProxyPassword.clear();
  IfNoneMatch.clear();
  IfModifiedSince.clear();
  StartByte = 0;
  IfRange.clear();
  KeepPartial = false;
  MaxLength = -1;
}

void TipwHTTP::StopTransfer() { stopRequested_ = inUse_; }

void TipwHTTP::SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle) {
  connectTimeout_ = connect;
  idleTimeout_ = idle;
}

void TipwHTTP::SetStallLimit(int64_t bytesPerSecond, std::chrono::milliseconds window) {
  stallRate_ = bytesPerSecond;
  stallWindow_ = window;
}

void TipwHTTP::Pump(Clock::time_point& lastPump) {
  // Fast transfers return from the wait at once; the window does not need its
  // messages processed more often than this.
  constexpr auto kPumpInterval = std::chrono::milliseconds(5);
  Clock::time_point now = Clock::now();
  if (!MessagePump || now - lastPump < kPumpInterval) return;
  lastPump = now;
  MessagePump(0);
}

// A failed fetch leaves no partial file behind.
void TipwHTTP::Fail(HttpTransfer& transfer, int code, const std::string& message) {
  transfer.DiscardFile();
  inUse_ = false;
  stopRequested_ = false;
  throw EipwHTTP(code, message);
}

void TipwHTTP::FailOnHandlerError(HttpTransfer& transfer) {
  if (!transfer.HandlerError()) return;
  try {
    std::rethrow_exception(transfer.HandlerError());
  } catch (const EipwHTTP& error) {
    Fail(transfer, error.Code(), error.what());
  } catch (const std::exception& error) {
    Fail(transfer, EipwHTTP::kHandler, error.what());
  } catch (...) {
    Fail(transfer, EipwHTTP::kHandler, "An event handler failed");
  }
}

struct TipwHTTP::Running {
  Running(TipwHTTP& owner, const std::string& path, HttpTransfer::Asked asked)
      : transfer(owner, path, asked) {}
  HttpTransfer transfer;
  bool idleExpired = false;
  bool tooSlow = false;
  // The body's rate is judged over whole windows, from the request's start.
  Clock::time_point windowStart = Clock::now();
  int64_t windowBytes = 0;
  std::optional<HttpOutcome> outcome;
};

void TipwHTTP::Fetch(const std::string& url) {
  Begin(url);
  std::exception_ptr pumpError;
  Clock::time_point lastPump = Clock::now() - std::chrono::hours(1);
  while (!Poll(kPollMs)) {
    try {
      Pump(lastPump);
    } catch (...) {
      // Raised by whatever ran in the pump: end the transfer, then let it go on.
      pumpError = std::current_exception();
      break;
    }
  }
  if (pumpError) {
    transport_->Finish();
    running_->transfer.CloseFile();
    running_->transfer.DiscardFile();
    running_.reset();
    inUse_ = false;
    stopRequested_ = false;
    std::rethrow_exception(pumpError);
  }
  End();
}

void TipwHTTP::Begin(const std::string& url) {
  if (inUse_) throw EipwHTTP(EipwHTTP::kBusy, "A transfer is already in progress");
  running_ = std::make_unique<Running>(
      *this, LocalFile,
      HttpTransfer::Asked{.conditional = !IfNoneMatch.empty() || !IfModifiedSince.empty(),
                          .startByte = StartByte,
                          .keepPartial = KeepPartial,
                          .maxLength = MaxLength});
  HttpRequest request{.url = url,
                      .proxyServer = ProxyServer,
                      .proxyPort = ProxyPort == 0 ? 80 : ProxyPort,
                      .proxyUser = ProxyUser,
                      .proxyPassword = ProxyPassword,
                      .headers = {},
                      .connectTimeout = connectTimeout_,
                      .idleTimeout = idleTimeout_};
  if (!IfNoneMatch.empty()) {
    request.headers.push_back("If-None-Match: " + IfNoneMatch);
  } else if (!IfModifiedSince.empty()) {
    request.headers.push_back("If-Modified-Since: " + IfModifiedSince);
  }
  if (StartByte > 0) {
    request.headers.push_back("Range: bytes=" + std::to_string(StartByte) + "-");
    if (!IfRange.empty()) request.headers.push_back("If-Range: " + IfRange);
  }
  response_ = {};
  inUse_ = true;
  stopRequested_ = false;
  transport_->Start(request, running_->transfer);
}

bool TipwHTTP::Poll(int maxWaitMs) {
  Running& run = *running_;
  if (stopRequested_ || run.idleExpired || run.tooSlow) return true;
  run.outcome = transport_->Step(maxWaitMs);
  if (run.outcome || stopRequested_) return true;
  const Clock::time_point now = Clock::now();
  if (now - run.transfer.LastActivity() > idleTimeout_) {
    run.idleExpired = true;
    return true;
  }
  if (now - run.windowStart >= stallWindow_) {
    const double seconds = std::chrono::duration<double>(now - run.windowStart).count();
    if (static_cast<double>(run.transfer.BodyBytes() - run.windowBytes) <
        static_cast<double>(stallRate_) * seconds) {
      run.tooSlow = true;
      return true;
    }
    run.windowStart = now;
    run.windowBytes = run.transfer.BodyBytes();
  }
  return false;
}

void TipwHTTP::End() {
  // Whatever raises below, the fetch is over when this returns.
  std::unique_ptr<Running> run = std::move(running_);
  HttpTransfer& transfer = run->transfer;
  // An unfinished request loses its connection; a finished one leaves it for the next fetch.
  transport_->Finish();
  transfer.CloseFile();

  if (stopRequested_) Fail(transfer, EipwHTTP::kStopped, "The transfer was stopped");
  if (run->idleExpired) {
    Fail(transfer, EipwHTTP::kIdleTimeout,
         "No data received from the server for " + std::to_string(idleTimeout_.count() / 1000) + " seconds");
  }
  if (run->tooSlow) {
    Fail(transfer, EipwHTTP::kTooSlow,
         "The server sent less than " + std::to_string(stallRate_) + " bytes a second for " +
             std::to_string(stallWindow_.count() / 1000) + " seconds");
  }
  FailOnHandlerError(transfer);
  if (!transfer.LocalError().empty()) {
    // Reported through the error event as well: it is not a communication error.
    if (OnError) transfer.Guard([&] { OnError(EipwHTTP::kLocalFile, transfer.LocalError()); });
    Fail(transfer, EipwHTTP::kLocalFile, transfer.LocalError());
  }
  if (!transfer.RangeError().empty()) Fail(transfer, EipwHTTP::kBadRange, transfer.RangeError());
  if (!transfer.LengthError().empty()) Fail(transfer, EipwHTTP::kTooLong, transfer.LengthError());
  if (!run->outcome) Fail(transfer, EipwHTTP::kStopped, "The transfer was stopped");
  if (run->outcome->code != 0) Fail(transfer, run->outcome->code, run->outcome->text);
  if (transfer.FailedStatus() != 0) {
    Fail(transfer, static_cast<int>(transfer.FailedStatus()),
         transfer.StatusLine().empty() ? "HTTP " + std::to_string(transfer.FailedStatus())
                                       : transfer.StatusLine());
  }
  if (NotModified()) {
    // LocalFile is the server's file still; nothing was transferred.
    inUse_ = false;
    stopRequested_ = false;
    return;
  }
  // The body is over, whole or short of its announced length; an empty body
  // still makes an (empty) LocalFile.
  if (!transfer.EnsureFile()) Fail(transfer, EipwHTTP::kLocalFile, transfer.LocalError());
  transfer.StartOnce();
  if (!transfer.HandlerError() && OnEndTransfer)
    transfer.Guard([&] { OnEndTransfer(HttpTransfer::kDirectionReceive); });
  FailOnHandlerError(transfer);
  inUse_ = false;
  stopRequested_ = false;
}

}  // namespace sorana::download
