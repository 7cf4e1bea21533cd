#include "support/fake_window.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace sorana::test {

using form::BoxAnswer;
using form::BoxKind;
using form::Control;

FakeWindow::FakeWindow() {
  for (Control c : {Control::Label2, Control::Label3, Control::CheckListBox1, Control::MsgLabel,
                    Control::ProgressBar, Control::ProgressLabel, Control::NowVersionLabel,
                    Control::UpVersionLabel, Control::DownLoadButton, Control::CancelButton}) {
    controls_[c] = ControlState{};
  }
  controls_[Control::MsgLabel].caption = "XXX";
  controls_[Control::NowVersionLabel].caption = "NowVersion";
  controls_[Control::UpVersionLabel].caption = "UpVersion";
  controls_[Control::DownLoadButton].caption = "アップデート開始";
  controls_[Control::CancelButton].caption = "ｷｬﾝｾﾙ";
}

void FakeWindow::SetCaption(Control control, std::string_view text) {
  controls_[control].caption = std::string(text);
  if (control == Control::MsgLabel) msgLabelHistory.emplace_back(text);
  if (control == Control::ProgressLabel) progressLabelHistory.emplace_back(text);
}

std::string FakeWindow::Caption(Control control) const { return controls_.at(control).caption; }
void FakeWindow::SetVisible(Control control, bool visible) { controls_[control].visible = visible; }
bool FakeWindow::IsVisible(Control control) const { return controls_.at(control).visible; }
void FakeWindow::SetEnabled(Control control, bool enabled) { controls_[control].enabled = enabled; }
bool FakeWindow::IsEnabled(Control control) const { return controls_.at(control).enabled; }
void FakeWindow::Repaint(Control) {}
void FakeWindow::SetWindowEnabled(bool enabled) { windowEnabled = enabled; }

void FakeWindow::SetClientSize(int width, int height) {
  clientWidth = width;
  clientHeight = height;
}

bool FakeWindow::IsChecked(int index) const { return checks.at(static_cast<size_t>(index)); }
void FakeWindow::SetChecked(int index, bool checked) { checks.at(static_cast<size_t>(index)) = checked; }

void FakeWindow::SetProgress(int position) {
  progress = position;
  progressHistory.push_back(position);
}

BoxAnswer FakeWindow::ShowBox(BoxKind kind, std::string_view text) {
  boxes.push_back({kind, std::string(text)});
  if (kind != BoxKind::Confirmation) return BoxAnswer::Ok;
  if (confirmAnswers.empty()) return BoxAnswer::Yes;
  BoxAnswer answer = confirmAnswers.front();
  confirmAnswers.pop_front();
  return answer;
}

std::string FakeWindow::InputBox(std::string_view caption, std::string_view, std::string_view text) {
  inputCaptions.emplace_back(caption);
  if (inputAnswers.empty()) return std::string(text);
  InputAnswer answer = inputAnswers.front();
  inputAnswers.pop_front();
  return answer.ok ? answer.text : std::string(text);
}

std::optional<form::ProxyLogin> FakeWindow::AskProxyLogin(std::string_view prompt) {
  loginPrompts.emplace_back(prompt);
  if (loginAnswers.empty()) return std::nullopt;
  form::ProxyLogin answer = loginAnswers.front();
  loginAnswers.pop_front();
  return answer;
}

void FakeWindow::Close() {
  if (closed) return;
  closed = true;
  if (onClose) onClose();
}

void FakeWindow::ProcessMessages(int maxWaitMs) {
  ++processMessagesCalls;
  if (asMessageLoop && closePosted && !closed) {
    closePosted = false;
    Close();
    return;
  }
  if (onProcessMessages) onProcessMessages();
  // Stands in for a blocking wait for the next message; keeps waits honest.
  const int wait = asMessageLoop ? maxWaitMs : std::min(maxWaitMs, 5);
  if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
}

}  // namespace sorana::test
