// The run of an update: the start-update and cancel buttons, the layout
// conversion, the choice of phases, both phases with the transfer events of
// their HTTP components and their installation, and the run's record.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "form/form_state.h"
#include "form/update_window.h"
#include "install/install_journal.h"

namespace sorana::update {

class DownloadDriver {
 public:
  // Installs each phase through install::Installer.
  DownloadDriver(form::FormState& state, form::UpdateWindow& window);
  // Installs each phase through `unpress` instead (tests of the driver alone):
  // it gets FileList, DownloadFolder, WorkFolder, OldPhase in place and the
  // phase's journal, and returns false when the installation failed (it has
  // then reported it and closed the window).
  using Unpress = std::function<bool(install::InstallJournal&)>;
  DownloadDriver(form::FormState& state, form::UpdateWindow& window, Unpress unpress);
  ~DownloadDriver();

  void DownLoadButtonClick();
  void CancelButtonClick();
  // The window is closing: stop the running transfer; the running click handler
  // then unwinds without fetching or installing anything more.
  void StopForClose();

  // Limits of both HTTP components (30 s to connect, 60 s of silence by default).
  void SetTransferTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle);
  // The slowest body they take (1 KB/s over 60 s by default).
  void SetStallLimit(int64_t bytesPerSecond, std::chrono::milliseconds window);
  // How long the first run's viewer registration may take (kViewerRegistrationBound).
  void SetRegistrationBound(std::chrono::milliseconds bound);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sorana::update
