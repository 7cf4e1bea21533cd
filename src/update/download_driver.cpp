#include "update/download_driver.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <variant>

#include "catalogue/catalogue.h"
#include "download/tipw_http.h"
#include "download/transfer_progress.h"
#include "form/app_error.h"
#include "formats/version_resource.h"
#include "install/unpress.h"
#include "platform/durability.h"
#include "platform/file_system.h"
#include "platform/file_tree.h"
#include "platform/folders.h"
#include "platform/version_info.h"
#include "platform/windows_system.h"
#include "update/accepted_lists.h"
#include "update/download_folder.h"
#include "update/driver_impl.h"
#include "update/fetch_ahead.h"
#include "update/kept_downloads.h"
#include "update/layout_conversion.h"
#include "update/phase_journal.h"
#include "update/signed_site.h"
#include "update/update_public_key.h"
#include "update/update_record.h"
#include "update/update_server.h"

namespace sorana::update {

using form::BoxAnswer;
using form::BoxKind;
using form::Control;

namespace {

// Below this version the intermediate release of the old-version phase comes first.
constexpr std::string_view kOldPhaseBelow = "v1.2.9";
constexpr std::string_view kCompleted = "アップデートが完了しました。終了します。";

}  // namespace

DownloadDriver::DownloadDriver(form::FormState& state, form::UpdateWindow& window)
    : impl_(std::make_unique<Impl>(state, window, nullptr)) {}

DownloadDriver::DownloadDriver(form::FormState& state, form::UpdateWindow& window, Unpress unpress)
    : impl_(std::make_unique<Impl>(state, window, std::move(unpress))) {}

DownloadDriver::~DownloadDriver() = default;

void DownloadDriver::SetTransferTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle) {
  for (TipwHTTP* http : {&impl_->ipwHTTP, &impl_->ipwHTTP2, &impl_->ipwHTTPList}) {
    http->SetTimeouts(connect, idle);
  }
  impl_->ahead.SetTimeouts(connect, idle);
}

void DownloadDriver::SetStallLimit(int64_t bytesPerSecond, std::chrono::milliseconds window) {
  for (TipwHTTP* http : {&impl_->ipwHTTP, &impl_->ipwHTTP2, &impl_->ipwHTTPList})
    http->SetStallLimit(bytesPerSecond, window);
  impl_->ahead.SetStallLimit(bytesPerSecond, window);
}

void DownloadDriver::SetRegistrationBound(std::chrono::milliseconds bound) {
  impl_->registrationBound = bound;
}

void DownloadDriver::DownLoadButtonClick() {
  Impl& d = *impl_;
  // A click that reaches us while a run processes its messages starts nothing.
  if (d.running || d.Closing()) return;
  d.running = true;
  try {
    d.Run();
  } catch (...) {
    d.running = false;
    if (!d.Closing()) d.ShowIdleButtons();
    throw;
  }
  d.running = false;
}

void DownloadDriver::CancelButtonClick() {
  Impl& d = *impl_;
  d.state.Cancelled = true;
  try {
    d.ahead.StopAll();
    if (d.ipwHTTP.InUse()) d.ipwHTTP.StopTransfer();
    d.ipwHTTP.ClearState();
  } catch (...) {
    // Stopping is best effort; the run stops before its next file anyway.
  }
  d.window.SetVisible(Control::CancelButton, false);
  d.window.SetVisible(Control::DownLoadButton, true);
  d.window.SetCaption(Control::MsgLabel, form::kStartPrompt);
}

void DownloadDriver::StopForClose() {
  Impl& d = *impl_;
  d.closing = true;
  d.ahead.StopAll();
  for (TipwHTTP* http : {&d.ipwHTTP, &d.ipwHTTP2, &d.ipwHTTPList}) {
    if (http->InUse()) http->StopTransfer();
  }
}

void DownloadDriver::Impl::ShowIdleButtons() {
  window.SetEnabled(Control::CheckListBox1, true);
  window.SetVisible(Control::CancelButton, false);
  window.SetVisible(Control::DownLoadButton, true);
  window.SetWindowEnabled(true);
}

catalogue::StandardChoice DownloadDriver::Impl::CheckedStandards() const {
  catalogue::StandardChoice checked{};
  for (int i = 0; i < catalogue::kStandardCount; ++i) checked[static_cast<size_t>(i)] = window.IsChecked(i);
  return checked;
}

void DownloadDriver::Impl::Run() {
  state.Cancelled = false;
  state.WorkFolder = state.InstallRoot;
  state.LayoutReady = true;
  // A run that was stopped dead goes on from its record; whatever it was
  // writing when it stopped is litter.
  std::optional<UpdateRecord> resumed = ReadUpdateRecord(state.InstallRoot);
  platform::RemoveStaleTemporaries(state.InstallRoot);
  platform::ResetReadOnly(state.WorkFolder, [this] {
    return window.ShowBox(BoxKind::Confirmation, "属性変更に失敗しました。処理を続行しますか？") ==
           BoxAnswer::Yes;
  });

  if (resumed && resumed->step == RunStep::Finished) {
    // Everything was installed; only the end of that run is left, which
    // records the standards where the new-version phase leaves them.
    state.OldPhase = false;
    state.WorkFolder = platform::ExpandFolderPath(state.InstallRoot + "New_BIN\\");
    window.ShowBox(BoxKind::Information, kCompleted);
    window.Close();
    return;
  }
  const bool converting =
      resumed && (resumed->step == RunStep::Converting || resumed->step == RunStep::Converted);
  if (converting || !platform::DirectoryExists(state.InstallRoot + "OLD_BIN")) {
    ConvertLayout(converting ? resumed : std::nullopt);
    state.LayoutReady = false;
    if (Closing()) return;
    resumed.reset();
  }

  state.PhaseComplete = false;
  state.OldPhase = true;
  state.WorkFolder = state.InstallRoot + "OLD_BIN\\";
  if (!PreparePhaseFolder(true)) return;

  // A stopped installation of a phase is finished, never skipped: the version
  // of its half-installed main program says nothing.
  const bool oldPhase =
      resumed ? resumed->oldPhase
              // As numbers; a program without version information is old.
              : formats::VersionBelow(platform::GetFileVersionText(state.WorkFolder + "fotodesk.exe"),
                                      kOldPhaseBelow);
  if (oldPhase) {
    // The new-version phase builds on the intermediate release: it follows
    // only when the old-version phase was installed.
    if (RunPhase(true, resumed) != PhaseResult::Installed || state.Cancelled) return;
    resumed.reset();
  } else {
    state.LayoutReady = true;
  }
  RunPhase(false, resumed);
}

void DownloadDriver::Impl::ConvertLayout(const std::optional<UpdateRecord>& resumed) {
  const std::string& root = state.InstallRoot;
  UpdateRecord record;
  record.standards = CheckedStandards();
  if (!resumed) RecordDurably(root, record, false);
  if (!resumed || resumed->step == RunStep::Converting) {
    MoveInstallationToOldBin(
        root, {state.InitFileName, root + kRecordFileName, root + std::string(kAcceptedListsName)});
    record.step = RunStep::Converted;
    RecordDurably(root, record, true);
  }
  // The window stays responsive while the viewer registers; closing it ends
  // the registration and the run, and the next run does this part again.
  SetUpNewBin(root, platform::ProcessWait{[this](int maxWaitMs) { window.ProcessMessages(maxWaitMs); },
                                          [this] { return !Closing(); }, registrationBound});
  if (Closing()) return;
  RemoveRecordDurably(root);
}

PhaseResult DownloadDriver::Impl::RunPhase(bool oldPhase, std::optional<UpdateRecord> resumed) {
  if (!oldPhase) {
    state.OldPhase = false;
    state.PhaseComplete = false;
    state.WorkFolder = platform::ExpandFolderPath(state.WorkFolder + "..\\New_BIN\\");
    if (!PreparePhaseFolder(false)) return PhaseResult::RunOver;
  }
  state.PhaseIntact = true;

  if (state.LayoutReady) {
    window.SetVisible(Control::CancelButton, true);
    window.SetVisible(Control::DownLoadButton, false);
  } else {
    // A run that has just converted the layout cannot be cancelled.
    window.SetVisible(Control::CancelButton, false);
    window.SetVisible(Control::DownLoadButton, false);
    window.SetWindowEnabled(false);
  }
  window.SetEnabled(Control::CheckListBox1, false);

  const catalogue::StandardChoice checked = CheckedStandards();
  state.FileList = catalogue::BuildFileList(oldPhase, checked);
  // Refused only when nothing is checked: a standard without files in the
  // old-version phase still needs that phase's programs before the new one.
  if (std::none_of(checked.begin(), checked.end(), [](bool on) { return on; })) {
    window.ShowBox(BoxKind::Information, "基準が選択されていません");
    ShowIdleButtons();
    return PhaseResult::RunOver;
  }

  // A stopped installation goes on from the downloads it left when they are
  // all still there whole (an installed one needs none); else they are fetched again.
  const bool installed = resumed && resumed->install == install::InstallStep::Installed;
  // With a key, nothing is fetched or installed before the phase's list is checked.
  std::optional<SignedPhase> listed;
  if (const UpdateKey key = UpdatePublicKey(); key.Held() && !installed) {
    listed = LoadSignedPhase(oldPhase, key);
    if (!listed) return PhaseResult::RunOver;
  }
  PhaseResult result = PhaseResult::NotInstalled;
  if (installed || (resumed && DownloadsStillWhole(state.DownloadFolder, state.FileList, resumed->files))) {
    state.FileIndex = static_cast<int>(state.FileList.size());
    state.PhaseComplete = true;
  } else {
    result = FetchPhase(oldPhase, listed ? &*listed : nullptr);
    if (result == PhaseResult::RunOver) return result;
  }
  if (listed && !state.Cancelled && state.PhaseComplete) {
    if (std::optional<std::string> refusal = listed->CheckDownloads(state.DownloadFolder, state.FileList)) {
      state.PhaseComplete = false;
      Refuse(*refusal);
      return PhaseResult::RunOver;
    }
  }

  if (!state.Cancelled && state.PhaseComplete) {
    UpdateRecord fresh;
    fresh.oldPhase = oldPhase;
    fresh.standards = checked;
    if (!installed) {
      std::optional<std::vector<ArrivedFile>> files = ArrivedFiles(state.DownloadFolder, state.FileList);
      if (files) fresh.files = std::move(*files);
    }
    PhaseJournal journal(state.InstallRoot, std::move(resumed), std::move(fresh));
    if (!unpress(journal)) return PhaseResult::RunOver;
    KeptDownloads(state.DownloadFolder).Clear();
    result = PhaseResult::Installed;
    if (Closing()) return PhaseResult::RunOver;
  }

  ShowIdleButtons();
  if (result != PhaseResult::Installed && !state.Cancelled) {
    // A file arrived short: the phase was not installed, the user may start again.
    window.SetCaption(Control::MsgLabel, form::kStartPrompt);
  }
  if (!oldPhase) state.Cancelled = false;
  return result;
}

bool DownloadDriver::Impl::PreparePhaseFolder(bool oldPhase) {
  state.DownloadFolder = platform::GetTempFolder() + (oldPhase ? "SorOldUp\\" : "SorNewUp\\");
  std::optional<std::string> refusal = PrepareDownloadFolder(state.DownloadFolder);
  if (!refusal) {
    platform::RemoveStaleTemporaries(state.DownloadFolder);
    return true;
  }
  window.ShowBox(BoxKind::Error,
                 "ダウンロードフォルダ \"" + state.DownloadFolder + "\" を使用できません。\r" + *refusal);
  ShowIdleButtons();
  return false;
}

}  // namespace sorana::update
