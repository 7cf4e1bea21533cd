#include "app/proxy_menu.h"

#include <charconv>
#include <string>

#include "app/settings_file.h"
#include "form/app_error.h"

namespace sorana::app {

namespace {

constexpr const char* kProxyCaption = "プロキシ設定";
// Each setting is one line of the settings file: a pasted line break would
// write lines of its own, and a PATH among them would win at the next start.
constexpr const char* kHostWithLineBreak = "プロキシIPに改行を含めることはできません。";

}  // namespace

uint16_t ParsePortText(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
  bool wellFormed = !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
  int32_t value = 0;
  if (wellFormed) {
    // from_chars takes a leading minus but no plus.
    std::string_view number = text.front() == '+' ? text.substr(1) : text;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    wellFormed = ec == std::errc() && end == number.data() + number.size();
  }
  if (!wellFormed) throw form::AppError("'" + std::string(text) + "' は整数ではありません");
  if (value < 0 || value > 65535) throw form::AppError("範囲チェックエラー");
  return static_cast<uint16_t>(value);
}

void ProxyIPMenuClick(form::FormState& state, form::UpdateWindow& window) {
  std::string typed = window.InputBox(kProxyCaption, "プロキシIP", state.ProxyIP);
  if (typed.find_first_of("\r\n") != std::string::npos) throw form::AppError(kHostWithLineBreak);
  state.ProxyIP = std::move(typed);
  WriteInitFile(state);
}

void ProxyPortMenuClick(form::FormState& state, form::UpdateWindow& window) {
  std::string typed = window.InputBox(kProxyCaption, "プロキシPort", std::to_string(state.ProxyPortNo));
  state.ProxyPortNo = ParsePortText(typed);
  WriteInitFile(state);
}

}  // namespace sorana::app
