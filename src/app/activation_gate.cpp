#include "app/activation_gate.h"

namespace sorana::app {

bool ActivationGate::Activated() {
  const bool counts = !activatedBefore_ || ownBoxOpened_;
  activatedBefore_ = true;
  ownBoxOpened_ = false;
  return counts;
}

// Noted before the box opens: the window may be activated again inside the
// box's own message loop, before the box returns.
form::BoxAnswer ActivationGate::ShowBox(form::BoxKind kind, std::string_view text) {
  OwnBoxOpening();
  return window_.ShowBox(kind, text);
}

std::string ActivationGate::InputBox(std::string_view caption, std::string_view prompt,
                                     std::string_view text) {
  OwnBoxOpening();
  return window_.InputBox(caption, prompt, text);
}

std::optional<form::ProxyLogin> ActivationGate::AskProxyLogin(std::string_view prompt) {
  OwnBoxOpening();
  return window_.AskProxyLogin(prompt);
}

}  // namespace sorana::app
