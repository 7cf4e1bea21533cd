// The one stand-in for the update window, for the tests, the fuzzers, the
// benchmarks and the unattended runner: keeps every control's state, records
// each box shown, answers boxes and input boxes from a script (questions
// "Yes", input boxes as cancelled, the login box cancelled when nothing is
// scripted).
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "form/update_window.h"

namespace sorana::test {

struct ShownBox {
  form::BoxKind kind;
  std::string text;
};

class FakeWindow : public form::UpdateWindow {
 public:
  FakeWindow();

  void SetCaption(form::Control control, std::string_view text) override;
  std::string Caption(form::Control control) const override;
  void SetVisible(form::Control control, bool visible) override;
  bool IsVisible(form::Control control) const override;
  void SetEnabled(form::Control control, bool enabled) override;
  bool IsEnabled(form::Control control) const override;
  void Repaint(form::Control control) override;
  void SetWindowEnabled(bool enabled) override;
  bool IsWindowEnabled() const override { return windowEnabled; }
  void SetClientSize(int width, int height) override;
  void SetBusyCursor(bool busy) override { busyCursor = busy; }
  bool IsChecked(int index) const override;
  void SetChecked(int index, bool checked) override;
  int CurrentItem() const override { return currentItem; }
  void SetProgress(int position) override;
  int Progress() const override { return progress; }
  form::BoxAnswer ShowBox(form::BoxKind kind, std::string_view text) override;
  std::string InputBox(std::string_view caption, std::string_view prompt, std::string_view text) override;
  std::optional<form::ProxyLogin> AskProxyLogin(std::string_view prompt) override;
  void PostClose() override { closePosted = true; }
  void Close() override;
  void ProcessMessages(int maxWaitMs) override;

  // Script: answers for confirmation boxes (default Yes), texts for input boxes
  // (nullopt-like: an empty deque means Cancel).
  std::deque<form::BoxAnswer> confirmAnswers;
  struct InputAnswer {
    bool ok;
    std::string text;
  };
  std::deque<InputAnswer> inputAnswers;
  std::deque<form::ProxyLogin> loginAnswers;  // empty: the login box is cancelled
  std::vector<std::string> loginPrompts;
  // Called from ProcessMessages (a stand-in for events that arrive meanwhile,
  // such as a click on the cancel button).
  std::function<void()> onProcessMessages;
  // Called when Close() runs (the form's FormClose is wired here by tests).
  std::function<void()> onClose;
  // As a message loop: a posted close is delivered at the next
  // ProcessMessages, and a wait with nothing to deliver lasts its whole bound
  // (an idle loop's wait) instead of at most 5 ms (which keeps tests quick).
  bool asMessageLoop = false;

  // Recorded state.
  std::vector<ShownBox> boxes;
  std::vector<std::string> msgLabelHistory;       // every MsgLabel caption set
  std::vector<std::string> progressLabelHistory;  // every ProgressLabel caption set
  std::vector<int> progressHistory;               // every bar position set
  std::array<bool, 22> checks{};
  int currentItem = 0;
  bool windowEnabled = true;
  bool busyCursor = false;
  bool closePosted = false;
  bool closed = false;
  int clientWidth = 0;
  int clientHeight = 0;
  int progress = 0;
  int processMessagesCalls = 0;
  std::vector<std::string> inputCaptions;

 private:
  struct ControlState {
    std::string caption;
    bool visible = true;
    bool enabled = true;
  };
  std::map<form::Control, ControlState> controls_;
};

}  // namespace sorana::test
