#include "unattended/scripted_window.h"

#include <chrono>
#include <stdexcept>
#include <thread>

namespace sorana::unattended {

using app::BoxAnswer;
using app::BoxKind;
using app::Control;

void ScriptedWindow::SetCaption(Control control, std::string_view text) {
  controls_[control].caption = std::string(text);
}

std::string ScriptedWindow::Caption(Control control) const {
  auto found = controls_.find(control);
  return found == controls_.end() ? std::string() : found->second.caption;
}

void ScriptedWindow::SetVisible(Control control, bool visible) { controls_[control].visible = visible; }

bool ScriptedWindow::IsVisible(Control control) const {
  auto found = controls_.find(control);
  return found == controls_.end() || found->second.visible;
}

void ScriptedWindow::SetEnabled(Control control, bool enabled) { controls_[control].enabled = enabled; }

bool ScriptedWindow::IsEnabled(Control control) const {
  auto found = controls_.find(control);
  return found == controls_.end() || found->second.enabled;
}

bool ScriptedWindow::IsChecked(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= checks_.size()) throw std::out_of_range("list index");
  return checks_[static_cast<size_t>(index)];
}

void ScriptedWindow::SetChecked(int index, bool checked) {
  if (index < 0 || static_cast<size_t>(index) >= checks_.size()) throw std::out_of_range("list index");
  checks_[static_cast<size_t>(index)] = checked;
}

BoxAnswer ScriptedWindow::ShowBox(BoxKind kind, std::string_view text) {
  boxes_.push_back({kind, std::string(text)});
  return kind == BoxKind::Confirmation ? BoxAnswer::Yes : BoxAnswer::Ok;
}

std::string ScriptedWindow::InputBox(std::string_view, std::string_view, std::string_view text) {
  return std::string(text);  // as if cancelled: the settings stay as they are
}

void ScriptedWindow::Close() {
  if (closed_) return;
  closed_ = true;
  closePosted_ = false;
  if (onClose) onClose();
}

void ScriptedWindow::ProcessMessages(int maxWaitMs) {
  if (closePosted_) {
    Close();
    return;
  }
  // Nothing else ever arrives here, so a wait lasts its whole bound, as an idle
  // message loop's would; sleeping keeps the caller's wait loops off the CPU.
  if (maxWaitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(maxWaitMs));
}

}  // namespace sorana::unattended
