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
using download::EipwHTTP;
using download::TipwHTTP;
using download::TransferProgress;

namespace {

using Clock = std::chrono::steady_clock;

// Below this version the intermediate release of the old-version phase comes first.
constexpr std::string_view kOldPhaseBelow = "v1.2.9";
constexpr auto kAfterFetchWait = std::chrono::milliseconds(30000);
constexpr int kWaitSliceMs = 20;
constexpr std::string_view kCompleted = "アップデートが完了しました。終了します。";

enum class PhaseResult {
  Installed,     // every file arrived whole and Unpress installed them
  NotInstalled,  // the list was fetched (or cancelled) but nothing was installed
  RunOver,       // no standard chosen, the installation failed or the window closed
};

}  // namespace

struct DownloadDriver::Impl {
  Impl(form::FormState& s, form::UpdateWindow& w, Unpress u)
      : state(s),
        window(w),
        installer(s, w),
        unpress(std::move(u)),
        progress(s, w),
        ahead(ParallelFetches(), progress, [this](int maxWaitMs) { window.ProcessMessages(maxWaitMs); }) {
    if (!unpress) unpress = [this](install::InstallJournal& journal) { return installer.Unpress(journal); };
    for (TipwHTTP* http : {&ipwHTTP, &ipwHTTP2, &ipwHTTPList}) {
      if (http != &ipwHTTPList) progress.Attach(*http);
      http->MessagePump = [this](int maxWaitMs) {
        window.ProcessMessages(maxWaitMs);
        ahead.Service();
      };
    }
  }

  bool Closing() const { return closing || state.Closed; }

  void Run();
  // Converts a one-folder installation, or finishes a conversion that was stopped.
  void ConvertLayout(const std::optional<UpdateRecord>& resumed);
  PhaseResult RunPhase(bool oldPhase, std::optional<UpdateRecord> resumed);
  // Fetches the phase's files (each no longer than `listed` gives it).
  PhaseResult FetchPhase(bool oldPhase, const SignedPhase* listed);
  // One file, asked again once when the proxy wants a login the user then
  // gives, or when a partial answer does not continue what was kept.
  void FetchFile(TipwHTTP& http, KeptDownloads* kept, const std::string& url, const std::string& name,
                 int64_t maxLength);
  // FetchFile, once more when the server refused the connection while transfers ahead held others.
  void FetchOwn(TipwHTTP& http, KeptDownloads& kept, const std::string& url, const std::string& name,
                int64_t maxLength);
  // Proxy, login, LocalFile and length bound of a fetch of `name`, on the phase's component or one ahead.
  void PrepareFetch(TipwHTTP& http, const std::string& name, int64_t maxLength);
  // With a key: the phase's signed list, checked; nullopt after the refusal's box.
  std::optional<SignedPhase> LoadSignedPhase(bool oldPhase, const UpdateKey& key);
  // The box of a refused signed site; the window is ready again.
  void Refuse(const std::string& reason);
  catalogue::StandardChoice CheckedStandards() const;
  // False when the window closed meanwhile.
  bool WaitAfterFetch(TipwHTTP& http);
  void ReportFetchError(bool oldPhase, size_t position, const EipwHTTP& error);
  // Points DownloadFolder at the phase's folder and makes it; false (after an
  // error box) when the folder could be touched by someone else.
  bool PreparePhaseFolder(bool oldPhase);
  void ShowIdleButtons();

  form::FormState& state;
  form::UpdateWindow& window;
  install::Installer installer;
  Unpress unpress;
  TipwHTTP ipwHTTP;   // new-version phase; the cancel button acts on it
  TipwHTTP ipwHTTP2;  // old-version phase
  TipwHTTP ipwHTTPList;  // the signed lists, without transfer events
  TransferProgress progress;
  FetchAhead ahead;  // the next files of the phase, on connections of their own
  std::chrono::milliseconds registrationBound = kViewerRegistrationBound;
  bool closing = false;
  bool running = false;  // a DownLoadButtonClick is on the stack
  // The proxy login the user gave, kept in memory for this run of the program only.
  std::optional<form::ProxyLogin> proxyLogin;
};

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
  const bool converting = resumed && (resumed->step == RunStep::Converting || resumed->step == RunStep::Converted);
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
  const bool oldPhase = resumed ? resumed->oldPhase
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
    MoveInstallationToOldBin(root,
                             {state.InitFileName, root + kRecordFileName, root + std::string(kAcceptedListsName)});
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

PhaseResult DownloadDriver::Impl::FetchPhase(bool oldPhase, const SignedPhase* listed) {
  TipwHTTP& http = oldPhase ? ipwHTTP2 : ipwHTTP;
  const std::string server = UpdateServer();
  KeptDownloads kept(state.DownloadFolder);
  std::vector<std::string> urls;
  for (const std::string& name : state.FileList) urls.push_back(ComponentUrl(server, oldPhase, name));
  ahead.BeginPhase(state.FileList, urls, kept, [this, listed](TipwHTTP& lane, const std::string& name) {
    PrepareFetch(lane, name, listed ? listed->ListedSize(name) : -1);
  });
  state.FileIndex = 0;
  for (size_t i = 0; i < state.FileList.size(); ++i) {
    if (state.Cancelled) {
      window.SetVisible(Control::CancelButton, false);
      window.SetVisible(Control::DownLoadButton, true);
      break;
    }
    state.FileIndex = static_cast<int>(i + 1);
    const std::string name = state.FileList[i];
    // What the server said at this file's turn: to a fetch ahead, or to the phase's component.
    auto answer = [&]() -> const TipwHTTP::Response& {
      const TipwHTTP::Response* fetchedAhead = ahead.Answer(i);
      return fetchedAhead ? *fetchedAhead : http.LastResponse();
    };

    try {
      const int64_t longest = listed ? listed->ListedSize(name) : -1;
      state.ContentLength = form::kNoContentLength;
      state.LastBytes = 0;
      if (!ahead.Take(i)) FetchOwn(http, kept, urls[i], name, longest);
      kept.Arrived(name, answer(), false);
      kept.Save(false);
    } catch (const EipwHTTP& error) {
      state.PhaseIntact = false;
      state.PhaseComplete = false;
      // What arrived before the stop is the next click's to continue; a file
      // longer than its list says is nothing to continue.
      error.Code() == EipwHTTP::kTooLong ? kept.Forget(name) : kept.Arrived(name, answer(), true);
      if (Closing()) ahead.EndPhase(kept);
      kept.Save(true);
      if (Closing()) return PhaseResult::RunOver;
      if (!state.Cancelled) {
        state.Cancelled = true;
        if (error.Code() == EipwHTTP::kTooLong) {
          window.ShowBox(BoxKind::Error, SigningRefusal(listed->TooLong(name)));
        } else {
          ReportFetchError(oldPhase, i, error);
        }
      }
    }
    if (Closing()) {
      ahead.EndPhase(kept);
      kept.Save(true);
      return PhaseResult::RunOver;
    }

    window.SetProgress(0);
    window.SetCaption(Control::ProgressLabel, "");
    if (!WaitAfterFetch(http)) return PhaseResult::RunOver;
  }
  ahead.EndPhase(kept);
  kept.Save(true);
  return PhaseResult::NotInstalled;
}

void DownloadDriver::Impl::FetchFile(TipwHTTP& http, KeptDownloads* kept, const std::string& url,
                                     const std::string& name, int64_t maxLength) {
  bool rangeRetried = false;
  while (true) {
    PrepareFetch(http, name, maxLength);
    state.ContentLength = form::kNoContentLength;
    // A file with no body events must not inherit the previous file's count.
    state.LastBytes = 0;
    if (kept) kept->Prepare(name, http);
    try {
      http.Fetch(url);
      if (http.NotModified()) {
        progress.KeptFile(static_cast<int64_t>(platform::FileSize(state.DownloadFolder + name).value_or(0)));
      }
      return;
    } catch (const EipwHTTP& error) {
      if (Closing() || state.Cancelled) throw;
      if (error.Code() == EipwHTTP::kBadRange && !rangeRetried) {
        // What the server sent does not continue the kept bytes: from the start.
        rangeRetried = true;
        if (kept) kept->Forget(name);
        continue;
      }
      if (error.Code() != EipwHTTP::kProxyLogin || proxyLogin) {
        // A login the proxy refused is asked for again on the next click.
        if (error.Code() == EipwHTTP::kProxyLogin) proxyLogin.reset();
        throw;
      }
      const std::string proxy = state.ProxyIP.empty()
                                    ? std::string("プロキシサーバー")
                                    : "プロキシサーバー " + state.ProxyIP + ":" + std::to_string(state.ProxyPortNo);
      proxyLogin = window.AskProxyLogin(proxy + " はログインを求めています。\rユーザー名とパスワードを入力してください。");
      if (!proxyLogin) throw;
    }
  }
}

std::optional<SignedPhase> DownloadDriver::Impl::LoadSignedPhase(bool oldPhase, const UpdateKey& key) {
  std::variant<SignedPhase, std::string> loaded = SignedPhase::Load(
      key, oldPhase, state.DownloadFolder, state.InstallRoot,
      [this](const std::string& name, const std::string& url, int64_t maxLength) {
        FetchFile(ipwHTTPList, nullptr, url, name, maxLength);
      });
  if (Closing()) return std::nullopt;
  if (auto* reason = std::get_if<std::string>(&loaded)) {
    Refuse(*reason);
    return std::nullopt;
  }
  return std::get<SignedPhase>(std::move(loaded));
}

void DownloadDriver::Impl::Refuse(const std::string& reason) {
  window.ShowBox(BoxKind::Error, SigningRefusal(reason));
  ShowIdleButtons();
  window.SetCaption(Control::MsgLabel, form::kStartPrompt);
}

void DownloadDriver::Impl::FetchOwn(TipwHTTP& http, KeptDownloads& kept, const std::string& url,
                                    const std::string& name, int64_t maxLength) {
  try {
    FetchFile(http, &kept, url, name, maxLength);
  } catch (const EipwHTTP& error) {
    if (Closing() || state.Cancelled || !ahead.GiveWay(error, http.LastResponse())) throw;
    FetchFile(http, &kept, url, name, maxLength);
  }
}

void DownloadDriver::Impl::PrepareFetch(TipwHTTP& http, const std::string& name, int64_t maxLength) {
  http.ClearState();
  http.ProxyServer = state.ProxyIP;
  http.ProxyPort = state.ProxyPortNo;
  if (proxyLogin) {
    http.ProxyUser = proxyLogin->user;
    http.ProxyPassword = proxyLogin->password;
  }
  std::optional<std::filesystem::path> local = platform::ToHost(state.DownloadFolder + name);
  if (!local) throw form::AppError("ファイル \"" + state.DownloadFolder + name + "\" を作成できません。");
  http.LocalFile = platform::host::Utf8OfPath(*local);
  http.MaxLength = maxLength;
}

bool DownloadDriver::Impl::WaitAfterFetch(TipwHTTP& http) {
  const Clock::time_point start = Clock::now();
  window.ProcessMessages(0);
  while (!Closing() && http.InUse() && Clock::now() - start < kAfterFetchWait) {
    window.ProcessMessages(kWaitSliceMs);
  }
  return !Closing();
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

void DownloadDriver::Impl::ReportFetchError(bool oldPhase, size_t position, const EipwHTTP& error) {
  std::string text = "通信エラーが発生しました[" + std::to_string(position + 1) + "]\r";
  if (!oldPhase) text += state.FileList[position] + "\r";
  text += "\r";
  text += error.what();
  window.ShowBox(BoxKind::Error, text);
}

}  // namespace sorana::update
