#include "download/download_driver.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

#include "catalogue/catalogue.h"
#include "download/tipw_http.h"
#include "download/transfer_progress.h"
#include "download/update_server.h"
#include "form/app_error.h"
#include "install/layout_conversion.h"
#include "platform/file_system.h"
#include "platform/file_tree.h"
#include "platform/folders.h"
#include "platform/private_folder.h"
#include "platform/version_info.h"
#include "platform/win_path.h"

namespace sorana::download {

using app::BoxAnswer;
using app::BoxKind;
using app::Control;

namespace {

using Clock = std::chrono::steady_clock;

// Below this version the intermediate release of the old-version phase comes first.
constexpr std::string_view kOldPhaseBelow = "v1.2.9";
constexpr auto kAfterFetchWait = std::chrono::milliseconds(30000);
constexpr int kWaitSliceMs = 20;

enum class PhaseResult {
  Installed,     // every file arrived whole and Unpress installed them
  NotInstalled,  // the list was fetched (or cancelled) but nothing was installed
  RunOver,       // no standard chosen, the installation failed or the window closed
};

}  // namespace

struct DownloadDriver::Impl {
  Impl(app::FormState& s, app::UpdateWindow& w, std::function<bool()> u)
      : state(s), window(w), unpress(std::move(u)), progress(s, w) {
    for (TipwHTTP* http : {&ipwHTTP, &ipwHTTP2}) {
      progress.Attach(*http);
      http->MessagePump = [this](int maxWaitMs) { window.ProcessMessages(maxWaitMs); };
    }
  }

  bool Closing() const { return closing || state.Closed; }

  void Run();
  PhaseResult RunPhase(bool oldPhase);
  // False when the window closed meanwhile.
  bool WaitAfterFetch(TipwHTTP& http);
  void ReportFetchError(bool oldPhase, size_t position, const EipwHTTP& error);
  // Points DownloadFolder at the phase's folder and makes it; false (after an
  // error box) when the folder could be touched by someone else.
  bool PrepareDownloadFolder(bool oldPhase);
  void ShowIdleButtons();

  app::FormState& state;
  app::UpdateWindow& window;
  std::function<bool()> unpress;
  TipwHTTP ipwHTTP;   // new-version phase; the cancel button acts on it
  TipwHTTP ipwHTTP2;  // old-version phase
  TransferProgress progress;
  std::chrono::milliseconds registrationBound = install::kViewerRegistrationBound;
  bool closing = false;
  bool running = false;  // a DownLoadButtonClick is on the stack
};

DownloadDriver::DownloadDriver(app::FormState& state, app::UpdateWindow& window,
                               std::function<bool()> unpress)
    : impl_(std::make_unique<Impl>(state, window, std::move(unpress))) {}

DownloadDriver::~DownloadDriver() = default;

void DownloadDriver::SetTransferTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds idle) {
  impl_->ipwHTTP.SetTimeouts(connect, idle);
  impl_->ipwHTTP2.SetTimeouts(connect, idle);
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
    if (d.ipwHTTP.InUse()) d.ipwHTTP.StopTransfer();
    d.ipwHTTP.ClearState();
  } catch (...) {
    // Stopping is best effort; the run stops before its next file anyway.
  }
  d.window.SetVisible(Control::CancelButton, false);
  d.window.SetVisible(Control::DownLoadButton, true);
  d.window.SetCaption(Control::MsgLabel, app::kStartPrompt);
}

void DownloadDriver::StopForClose() {
  Impl& d = *impl_;
  d.closing = true;
  for (TipwHTTP* http : {&d.ipwHTTP, &d.ipwHTTP2}) {
    if (http->InUse()) http->StopTransfer();
  }
}

void DownloadDriver::Impl::ShowIdleButtons() {
  window.SetEnabled(Control::CheckListBox1, true);
  window.SetVisible(Control::CancelButton, false);
  window.SetVisible(Control::DownLoadButton, true);
  window.SetWindowEnabled(true);
}

void DownloadDriver::Impl::Run() {
  state.Cancelled = false;
  state.WorkFolder = state.InstallRoot;
  state.LayoutReady = true;
  platform::ResetReadOnly(state.WorkFolder, [this] {
    return window.ShowBox(BoxKind::Confirmation, "属性変更に失敗しました。処理を続行しますか？") ==
           BoxAnswer::Yes;
  });

  if (!platform::DirectoryExists(state.InstallRoot + "OLD_BIN")) {
    // The window stays responsive while the viewer registers; closing it ends
    // the registration and the run.
    install::ConvertLayout(state.InstallRoot, state.InitFileName,
                           platform::ProcessWait{[this](int maxWaitMs) { window.ProcessMessages(maxWaitMs); },
                                                 [this] { return !Closing(); }, registrationBound});
    state.LayoutReady = false;
    if (Closing()) return;
  }

  state.PhaseComplete = false;
  state.OldPhase = true;
  state.WorkFolder = state.InstallRoot + "OLD_BIN\\";
  if (!PrepareDownloadFolder(true)) return;

  // Ordinal comparison of the texts: the empty text and v1.10.0.0 sort below.
  if (platform::GetFileVersionText(state.WorkFolder + "fotodesk.exe") < kOldPhaseBelow) {
    // The new-version phase builds on the intermediate release: it follows
    // only when the old-version phase was installed.
    if (RunPhase(true) != PhaseResult::Installed || state.Cancelled) return;
  } else {
    state.LayoutReady = true;
  }
  RunPhase(false);
}

PhaseResult DownloadDriver::Impl::RunPhase(bool oldPhase) {
  TipwHTTP& http = oldPhase ? ipwHTTP2 : ipwHTTP;
  if (!oldPhase) {
    state.OldPhase = false;
    state.PhaseComplete = false;
    state.WorkFolder = platform::ExpandFolderPath(state.WorkFolder + "..\\New_BIN\\");
    if (!PrepareDownloadFolder(false)) return PhaseResult::RunOver;
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

  catalogue::StandardChoice checked{};
  for (int i = 0; i < catalogue::kStandardCount; ++i) checked[static_cast<size_t>(i)] = window.IsChecked(i);
  state.FileList = catalogue::BuildFileList(oldPhase, checked);
  // Refused only when nothing is checked: a standard without files in the
  // old-version phase still needs that phase's programs before the new one.
  if (std::none_of(checked.begin(), checked.end(), [](bool on) { return on; })) {
    window.ShowBox(BoxKind::Information, "基準が選択されていません");
    ShowIdleButtons();
    return PhaseResult::RunOver;
  }

  const std::string server = UpdateServer();
  bool installed = false;
  state.FileIndex = 0;
  for (size_t i = 0; i < state.FileList.size(); ++i) {
    if (state.Cancelled) {
      window.SetVisible(Control::CancelButton, false);
      window.SetVisible(Control::DownLoadButton, true);
      break;
    }
    state.FileIndex = static_cast<int>(i + 1);
    const std::string name = state.FileList[i];

    http.ClearState();
    http.ProxyServer = state.ProxyIP;
    http.ProxyPort = state.ProxyPortNo;
    state.ContentLength = app::kNoContentLength;
    // A file with no body events must not inherit the previous file's count.
    state.LastBytes = 0;
    std::optional<std::filesystem::path> local = platform::ToHost(state.DownloadFolder + name);
    if (!local) throw app::AppError("ファイル \"" + state.DownloadFolder + name + "\" を作成できません。");
    http.LocalFile = platform::host::Utf8OfPath(*local);

    try {
      http.Fetch(ComponentUrl(server, oldPhase, name));
    } catch (const EipwHTTP& error) {
      state.PhaseIntact = false;
      state.PhaseComplete = false;
      if (Closing()) return PhaseResult::RunOver;
      if (!state.Cancelled) {
        state.Cancelled = true;
        ReportFetchError(oldPhase, i, error);
      }
    }
    if (Closing()) return PhaseResult::RunOver;

    window.SetProgress(0);
    window.SetCaption(Control::ProgressLabel, "");
    if (!WaitAfterFetch(http)) return PhaseResult::RunOver;

    if (!state.Cancelled && state.PhaseComplete) {
      if (!unpress()) return PhaseResult::RunOver;
      installed = true;
      if (Closing()) return PhaseResult::RunOver;
    }
  }

  ShowIdleButtons();
  if (!installed && !state.Cancelled) {
    // A file arrived short: the phase was not installed, the user may start again.
    window.SetCaption(Control::MsgLabel, app::kStartPrompt);
  }
  if (!oldPhase) state.Cancelled = false;
  return installed ? PhaseResult::Installed : PhaseResult::NotInstalled;
}

bool DownloadDriver::Impl::WaitAfterFetch(TipwHTTP& http) {
  const Clock::time_point start = Clock::now();
  window.ProcessMessages(0);
  while (!Closing() && http.InUse() && Clock::now() - start < kAfterFetchWait) {
    window.ProcessMessages(kWaitSliceMs);
  }
  return !Closing();
}

bool DownloadDriver::Impl::PrepareDownloadFolder(bool oldPhase) {
  state.DownloadFolder = platform::GetTempFolder() + (oldPhase ? "SorOldUp\\" : "SorNewUp\\");
  std::string reason;
  switch (platform::ForcePrivateFolder(state.DownloadFolder)) {
    case platform::FolderTrust::Private:
      return true;
    case platform::FolderTrust::Missing:
      reason = "フォルダを作成できません。" + std::string(std::strerror(platform::LastError()));
      break;
    case platform::FolderTrust::SymbolicLink:
      reason = "シンボリックリンクです。";
      break;
    case platform::FolderTrust::NotAFolder:
      reason = "フォルダではありません。";
      break;
    case platform::FolderTrust::ForeignOwner:
      reason = "他のユーザーが所有しています。";
      break;
    case platform::FolderTrust::WritableByOthers:
      reason = "他のユーザーが書き込めます。";
      break;
  }
  // Nothing is fetched into a folder that someone else could plant files in.
  window.ShowBox(BoxKind::Error,
                 "ダウンロードフォルダ \"" + state.DownloadFolder + "\" を使用できません。\r" + reason);
  ShowIdleButtons();
  return false;
}

void DownloadDriver::Impl::ReportFetchError(bool oldPhase, size_t position, const EipwHTTP& error) {
  std::string text = "通信エラーが発生しました[" + std::to_string(position + 1) + "]\r";
  if (!oldPhase) text += state.FileList[position] + "\r";
  text += "\r";
  text += error.what();
  window.ShowBox(BoxKind::Error, text);
}

}  // namespace sorana::download
