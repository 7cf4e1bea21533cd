// The fetch of a phase's files: each in the catalogue's order, the next ones
// fetched ahead, kept files asked again, the signed list first where the
// site is signed.
#include <chrono>
#include <optional>
#include <variant>

#include "form/app_error.h"
#include "platform/file_system.h"
#include "platform/windows_system.h"
#include "update/driver_impl.h"
#include "update/update_server.h"

namespace sorana::update {

using form::BoxKind;
using form::Control;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kAfterFetchWait = std::chrono::milliseconds(30000);
constexpr int kWaitSliceMs = 20;

}  // namespace

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
      const std::string proxy = state.ProxyIP.empty() ? std::string("プロキシサーバー")
                                                      : "プロキシサーバー " + state.ProxyIP + ":" +
                                                            std::to_string(state.ProxyPortNo);
      proxyLogin = window.AskProxyLogin(
          proxy + " はログインを求めています。\rユーザー名とパスワードを入力してください。");
      if (!proxyLogin) throw;
    }
  }
}

std::optional<SignedPhase> DownloadDriver::Impl::LoadSignedPhase(bool oldPhase, const UpdateKey& key) {
  std::variant<SignedPhase, std::string> loaded =
      SignedPhase::Load(key, oldPhase, state.DownloadFolder, state.InstallRoot,
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

void DownloadDriver::Impl::ReportFetchError(bool oldPhase, size_t position, const EipwHTTP& error) {
  std::string text = "通信エラーが発生しました[" + std::to_string(position + 1) + "]\r";
  if (!oldPhase) text += state.FileList[position] + "\r";
  text += "\r";
  text += error.what();
  window.ShowBox(BoxKind::Error, text);
}

}  // namespace sorana::update
