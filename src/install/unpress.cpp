#include "install/unpress.h"

#include <exception>
#include <string>

#include "form/app_error.h"
#include "install/expand_downloads.h"
#include "install/expanded_name.h"
#include "install/install_steps.h"
#include "platform/file_system.h"
#include "platform/windows_system.h"

namespace sorana::install {

namespace {

using form::Control;

constexpr std::string_view kFailureLine = "コンポーネントの展開に失敗しました(4)終了します。";
constexpr std::string_view kCompleted = "アップデートが完了しました。終了します。";

// The window is usable again however Unpress ends.
class WindowBusy {
 public:
  explicit WindowBusy(form::UpdateWindow& window) : window_(window) {
    window_.SetWindowEnabled(false);
    window_.SetBusyCursor(true);
  }
  ~WindowBusy() {
    window_.SetWindowEnabled(true);
    window_.SetBusyCursor(false);
  }
  WindowBusy(const WindowBusy&) = delete;
  WindowBusy& operator=(const WindowBusy&) = delete;

 private:
  form::UpdateWindow& window_;
};

}  // namespace

void Installer::CleanDownloadFolder() {
  for (const std::string& name : state_.FileList) {
    platform::RemoveFile(state_.DownloadFolder + name);
    platform::RemoveFile(state_.DownloadFolder + ExpandedName(name));
  }
}

bool Installer::Unpress(InstallJournal& journal) {
  window_.SetVisible(Control::CancelButton, false);
  window_.SetVisible(Control::DownLoadButton, false);
  WindowBusy busy(window_);
  std::string failure;
  unsigned long systemCode = 0;
  try {
    window_.SetCaption(Control::MsgLabel, state_.OldPhase ? "アップデートコンポーネント(1)の展開..."
                                                          : "アップデートコンポーネント(2)の展開...");
    window_.Repaint(Control::MsgLabel);
    const std::optional<InstallStep> reached = journal.Reached();
    if (reached != InstallStep::Installed) {
      ExpandDownloads(state_, window_);
      if (!reached) journal.Record(InstallStep::Installing);
      InstallSteps(state_, window_, journal).Run();
      journal.Record(InstallStep::Installed);
    }
    CleanDownloadFolder();
    journal.PhaseOver();
    window_.SetCaption(Control::ProgressLabel, "Completed");
    window_.SetProgress(100);
    if (!state_.OldPhase) {
      window_.ShowBox(form::BoxKind::Information, kCompleted);
      window_.Close();
    }
    return true;
  } catch (const form::AppError& error) {
    failure = error.what();
    systemCode = error.Cause().system;
  } catch (const std::exception& error) {
    failure = error.what();
  } catch (...) {
    failure = "不明なエラーが発生しました。";
  }
  window_.ShowBox(form::BoxKind::Error,
                  failure + "\r" + std::string(kFailureLine) + "\r" + std::to_string(systemCode));
  window_.Close();
  return false;
}

}  // namespace sorana::install
