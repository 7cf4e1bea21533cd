#include "app/main_form.h"

#include <string>

#include "app/protected_standards.h"
#include "app/proxy_menu.h"
#include "archive/lhactrls.h"
#include "update/phase_journal.h"

namespace sorana::app {

MainForm::MainForm(form::UpdateWindow& window)
    : gate_(window), lifecycle_(state_, gate_), driver_(state_, gate_) {
  archive::SetPanicHandler([this](std::string_view text) { gate_.ShowBox(form::BoxKind::Panic, text); });
}

MainForm::~MainForm() { archive::SetPanicHandler(nullptr); }

bool MainForm::FormCreate() { return lifecycle_.FormCreate(); }

void MainForm::FormActivate() {
  if (gate_.Activated() && !state_.Closed) lifecycle_.FormActivate();
}

void MainForm::FormClose() {
  if (state_.Closed) return;
  lifecycle_.FormClose();
  // A run that finished everything but its close ends here.
  if (!state_.InstallRoot.empty()) update::FinishRecordedRun(state_.InstallRoot);
  if (state_.Updating) driver_.StopForClose();
  state_.Closed = true;
}

void MainForm::ProxyIPMenuClick() { app::ProxyIPMenuClick(state_, gate_); }

void MainForm::ProxyPortMenuClick() { app::ProxyPortMenuClick(state_, gate_); }

void MainForm::CheckListBox1ClickCheck() { app::CheckListBox1ClickCheck(gate_); }

void MainForm::DownLoadButtonClick() {
  if (state_.Updating || state_.Closed) return;
  // Reset however the run ends, so that FormClose knows whether a run is on the
  // stack; a window closed meanwhile releases the file list only now.
  struct RunScope {
    form::FormState& state;
    explicit RunScope(form::FormState& s) : state(s) { state.Updating = true; }
    ~RunScope() {
      state.Updating = false;
      if (state.Closed) state.FileList.clear();
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;
  } run(state_);
  driver_.DownLoadButtonClick();
}

void MainForm::CancelButtonClick() { driver_.CancelButtonClick(); }

}  // namespace sorana::app
