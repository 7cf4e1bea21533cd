#include "e2e/form_session.h"

#include "archive/lhactrls.h"

namespace sorana::e2e {

using form::BoxKind;
using form::Control;

void LoadArchiveLibrary() {
  static bool loaded = false;
  if (!loaded) archive::LoadLhaLibrary();
  loaded = true;
}

FormSession::FormSession() : form(window) {
  LoadArchiveLibrary();
  window.onClose = [this] { form.FormClose(); };
}

bool FormSession::Start() {
  if (!form.FormCreate()) return false;
  form.FormActivate();
  return true;
}

void FormSession::StartAndUpdate() {
  if (Start()) form.DownLoadButtonClick();
}

std::vector<std::string> FormSession::Boxes(BoxKind kind) const {
  std::vector<std::string> texts;
  for (const test::ShownBox& box : window.boxes) {
    if (box.kind == kind) texts.push_back(box.text);
  }
  return texts;
}

bool FormSession::IsReady() {
  return !window.closed && window.IsWindowEnabled() && window.IsVisible(Control::DownLoadButton) &&
         !window.IsVisible(Control::CancelButton) && window.IsEnabled(Control::CheckListBox1) &&
         !form.State().Updating;
}

std::string FailureBoxPrefix(const std::string& message) {
  // The step's message ends in its own CR; then the (4) line and the error code.
  return message + "\r\r" + kExpansionFailed + "\r";
}

}  // namespace sorana::e2e
