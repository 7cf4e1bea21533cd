// How a window hands its events to the core: whatever escapes a handler is
// shown in the window's error box, so no exception crosses a toolkit's event
// loop or the system's window procedure.
#pragma once

#include <exception>

#include "form/form_events.h"
#include "form/update_window.h"

namespace sorana::form {

inline constexpr const char* kUnexpectedError = "予期しないエラーが発生しました。";

// The error box, the core told first that a box of the window's own opens.
// Never throws: when even that fails, nothing more can be shown.
inline void ReportWindowError(UpdateWindow& window, FormEvents* events, const char* text) noexcept {
  try {
    if (events != nullptr) events->OwnBoxOpening();
    window.ShowBox(BoxKind::Error, text);
  } catch (...) {
  }
}

// True when the handler ran through; false when it raised and was reported.
template <typename Handler>
bool RunGuarded(UpdateWindow& window, FormEvents* events, Handler&& handler) {
  try {
    handler();
    return true;
  } catch (const std::exception& error) {
    ReportWindowError(window, events, error.what());
  } catch (...) {
    ReportWindowError(window, events, kUnexpectedError);
  }
  return false;
}

// One event to the core, when the window has one to reach.
inline void DispatchGuarded(UpdateWindow& window, FormEvents* events, void (FormEvents::*handler)()) {
  if (events == nullptr) return;
  RunGuarded(window, events, [&] { (events->*handler)(); });
}

}  // namespace sorana::form
