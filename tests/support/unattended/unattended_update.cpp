#include "unattended/unattended_update.h"

#include <exception>
#include <string_view>

#include "app/main_form.h"

namespace sorana::unattended {

namespace {

constexpr std::string_view kCompleted = "アップデートが完了しました。終了します。";

const char* KindName(form::BoxKind kind) {
  switch (kind) {
    case form::BoxKind::Confirmation:
      return "confirmation";
    case form::BoxKind::Information:
      return "information";
    case form::BoxKind::Error:
      return "error";
    case form::BoxKind::Notice:
      return "notice";
    case form::BoxKind::Panic:
      return "panic";
  }
  return "box";
}

// Box texts join lines with a lone CR; a terminal wants LF.
std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& ch : out) {
    if (ch == '\r') ch = '\n';
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace

UpdateOutcome RunUnattendedUpdate() {
  UpdateOutcome outcome;
  test::FakeWindow window;
  window.asMessageLoop = true;
  {
    app::MainForm form(window);
    window.onClose = [&form] { form.FormClose(); };
    try {
      if (form.FormCreate()) {
        form.FormActivate();
        form.DownLoadButtonClick();
        window.ProcessMessages(0);  // a close posted at the end of the run
      } else {
        outcome.failure = "the prefix holds no installed product";
      }
    } catch (const std::exception& error) {
      // The window's general error handling would show this in an error box.
      outcome.failure = Printable(error.what());
    }
    window.onClose = nullptr;
  }
  bool completionShown = false;
  for (const test::ShownBox& box : window.boxes) {
    if (box.kind == form::BoxKind::Information && box.text == kCompleted) completionShown = true;
  }
  outcome.completed = outcome.failure.empty() && completionShown && window.closed;
  outcome.boxes = window.boxes;
  return outcome;
}

std::string Describe(const UpdateOutcome& outcome) {
  std::string text = outcome.completed ? "the update completed" : "the update did not complete";
  if (!outcome.failure.empty()) text += ": " + outcome.failure;
  text += "\n";
  for (const test::ShownBox& box : outcome.boxes) {
    text += "  [";
    text += KindName(box.kind);
    text += "] " + Printable(box.text) + "\n";
  }
  return text;
}

}  // namespace sorana::unattended
