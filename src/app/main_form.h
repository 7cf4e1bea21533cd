// The core of the update window: owns the shared state, the download driver
// and the installation, and offers the window's event handlers by name.
#pragma once

#include "app/activation_gate.h"
#include "app/form_lifecycle.h"
#include "form/form_events.h"
#include "form/form_state.h"
#include "form/update_window.h"
#include "update/download_driver.h"

namespace sorana::app {

class MainForm : public form::FormEvents {
 public:
  explicit MainForm(form::UpdateWindow& window);
  ~MainForm() override;
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  // False when the program must end at once (no install root).
  bool FormCreate();
  // Runs the activation steps on the first activation and on the return from
  // one of the updater's boxes, not when another program hands activation back.
  void FormActivate() override;
  void OwnBoxOpening() override { gate_.OwnBoxOpening(); }
  // Closing during an update runs the close steps at once and stops the
  // transfer; the running DownLoadButtonClick then unwinds.
  void FormClose() override;
  void ProxyIPMenuClick() override;
  void ProxyPortMenuClick() override;
  void CheckListBox1ClickCheck() override;
  void DownLoadButtonClick() override;
  void CancelButtonClick() override;

  form::FormState& State() { return state_; }

 private:
  // Every part of the core reaches the window through the gate, so that it
  // sees each box they open.
  ActivationGate gate_;
  form::FormState state_;
  FormLifecycle lifecycle_;
  update::DownloadDriver driver_;
};

}  // namespace sorana::app
