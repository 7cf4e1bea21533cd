#include "download/transfer_progress.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "formats/ascii_case.h"
#include "platform/windows_system.h"

namespace sorana::download {

using form::BoxKind;
using form::Control;

namespace {

constexpr int kBadLengthCode = EipwHTTP::kHandler;
constexpr int kReceive = 1;  // a download, as the events say

int32_t ParseLength(const std::string& value) {
  int32_t length = 0;
  const char* end = value.data() + value.size();
  auto [stop, error] = std::from_chars(value.data(), end, length);
  if (value.empty() || error != std::errc() || stop != end) {
    throw EipwHTTP(kBadLengthCode, "'" + value + "' は整数ではありません");
  }
  return length;
}

}  // namespace

std::string ShortestDecimal(double value) {
  // Fixed notation: the plain shortest form reads 100000 as "1e+05".
  char buffer[512];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  return error == std::errc() ? std::string(buffer, end) : std::string();
}

void TransferProgress::Attach(TipwHTTP& http) {
  http.OnHeader = [this](const std::string& field, const std::string& value) { ipwHTTPHeader(field, value); };
  http.OnStartTransfer = [this](int direction) { ipwHTTPStartTransfer(direction); };
  http.OnTransfer = [this](int direction, int64_t bytes, std::string_view text) {
    ipwHTTPTransfer(direction, bytes, text);
  };
  http.OnEndTransfer = [this](int direction) { ipwHTTPEndTransfer(direction); };
  http.OnError = [this](int code, const std::string& description) { ipwHTTPError(code, description); };
}

void TransferProgress::KeptFile(int64_t size) {
  ipwHTTPStartTransfer(kReceive);
  state_.ContentLength = static_cast<double>(size);
  ipwHTTPTransfer(kReceive, size, {});
  ipwHTTPEndTransfer(kReceive);
}

void TransferProgress::ipwHTTPHeader(const std::string& Field, const std::string& Value) {
  if (formats::AsciiUpper(Field) == "CONTENT-LENGTH") state_.ContentLength = ParseLength(Value);
}

void TransferProgress::ipwHTTPStartTransfer(int) {
  state_.PhaseComplete = false;
  window_.SetProgress(0);
  window_.SetCaption(Control::ProgressLabel, "");
  if (!state_.Cancelled) {
    double share =
        static_cast<double>(state_.FileIndex) / static_cast<double>(state_.FileList.size()) * 100.0;
    int percent = static_cast<int>(std::trunc(share));
    std::string message = state_.OldPhase ? "アップデートコンポーネント(1)のダウンロード "
                                          : "アップデートコンポーネント(2)のダウンロード ";
    window_.SetCaption(Control::MsgLabel, message + std::to_string(percent) + "%");
  }
  window_.Repaint(Control::MsgLabel);
}

void TransferProgress::ipwHTTPTransfer(int, int64_t BytesTransferred, std::string_view) {
  state_.LastBytes =
      static_cast<int32_t>(std::min<int64_t>(BytesTransferred, std::numeric_limits<int32_t>::max()));
  if (!state_.Cancelled) {
    // nearbyint rounds halves to even in the default rounding mode.
    double position = std::nearbyint(static_cast<double>(BytesTransferred) / state_.ContentLength * 100.0);
    // 0 bytes of an announced 0 are all of it (0 / 0 has no value to convert).
    if (std::isnan(position)) position = 100.0;
    window_.SetProgress(static_cast<int>(std::clamp(position, 0.0, 100.0)));
    window_.SetCaption(
        Control::ProgressLabel,
        std::to_string(BytesTransferred) + "/" + ShortestDecimal(state_.ContentLength) + " Bytes Completion");
  }
  window_.Repaint(Control::ProgressLabel);
}

void TransferProgress::ipwHTTPEndTransfer(int) {
  window_.SetCaption(Control::ProgressLabel, ShortestDecimal(state_.ContentLength) + " Bytes Completed");
  window_.Repaint(Control::ProgressLabel);
  if (static_cast<double>(state_.LastBytes) != state_.ContentLength) {
    // Short, or no length announced: this file, and so its phase, is not whole.
    window_.SetCaption(Control::DownLoadButton, "アップデート開始");
    window_.SetCaption(Control::MsgLabel, form::kStartPrompt);
    window_.Repaint(Control::MsgLabel);
    window_.SetCaption(Control::ProgressLabel, "");
    window_.SetProgress(0);
    state_.PhaseComplete = false;
    state_.PhaseIntact = false;
    state_.LastBytes = 0;
  } else if (static_cast<size_t>(state_.FileIndex) == state_.FileList.size()) {
    state_.PhaseComplete = state_.PhaseIntact;
  }
}

void TransferProgress::ipwHTTPError(int ErrorCode, const std::string& Description) {
  if (state_.Cancelled) return;
  window_.ShowBox(BoxKind::Error, "[" + std::to_string(ErrorCode) + "]" + Description);
  state_.Cancelled = true;
}

}  // namespace sorana::download
