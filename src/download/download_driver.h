// The download driver: the start-update and cancel buttons, both phases, and
// the transfer events of the HTTP components.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "form/form_state.h"
#include "form/update_window.h"

namespace sorana::download {

class DownloadDriver {
 public:
  // `unpress` installs the phase whose files have all arrived (FileList,
  // DownloadFolder, WorkFolder, OldPhase in place); it returns false when the
  // installation failed (it has then reported it and closed the window).
  DownloadDriver(app::FormState& state, app::UpdateWindow& window, std::function<bool()> unpress);
  ~DownloadDriver();

  void DownLoadButtonClick();
  void CancelButtonClick();
  // The window is closing: stop the running transfer; the running click handler
  // then unwinds without fetching or installing anything more.
  void StopForClose();

  // Limits of both HTTP components (30 s to connect, 60 s of silence by default).
  void SetTransferTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle);
  // How long the first run's viewer registration may take (kViewerRegistrationBound).
  void SetRegistrationBound(std::chrono::milliseconds bound);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sorana::download
