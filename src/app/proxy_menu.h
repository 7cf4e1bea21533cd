// The two entries of the menu "設定": proxy host and proxy port. Each shows the
// input box and then rewrites the settings file, also after Cancel.
#pragma once

#include <cstdint>
#include <string_view>

#include "form/form_state.h"
#include "form/update_window.h"

namespace sorana::app {

// Raises AppError for a host holding a CR or LF; the host and the file then
// stay as they were.
void ProxyIPMenuClick(form::FormState& state, form::UpdateWindow& window);

// Raises AppError "'<text>' は整数ではありません" or "範囲チェックエラー" for an
// unusable port; the port and the file then stay as they were.
void ProxyPortMenuClick(form::FormState& state, form::UpdateWindow& window);

// Strict whole-number reading of a typed port: optional sign and decimal digits
// only. Raises the two errors above.
uint16_t ParsePortText(std::string_view text);

}  // namespace sorana::app
