// The download driver's state and steps, shared by its two source files: the
// run of an update (download_driver.cpp) and the fetch of a phase's files
// (phase_fetch.cpp). Private to the update layer.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "catalogue/catalogue.h"
#include "download/tipw_http.h"
#include "download/transfer_progress.h"
#include "form/form_state.h"
#include "form/update_window.h"
#include "install/unpress.h"
#include "update/download_driver.h"
#include "update/fetch_ahead.h"
#include "update/kept_downloads.h"
#include "update/layout_conversion.h"
#include "update/signed_site.h"
#include "update/update_public_key.h"
#include "update/update_record.h"

namespace sorana::update {

using download::EipwHTTP;
using download::TipwHTTP;
using download::TransferProgress;

enum class PhaseResult {
  Installed,     // every file arrived whole and Unpress installed them
  NotInstalled,  // the list was fetched (or cancelled) but nothing was installed
  RunOver,       // no standard chosen, the installation failed or the window closed
};

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
  TipwHTTP ipwHTTP;      // new-version phase; the cancel button acts on it
  TipwHTTP ipwHTTP2;     // old-version phase
  TipwHTTP ipwHTTPList;  // the signed lists, without transfer events
  TransferProgress progress;
  FetchAhead ahead;  // the next files of the phase, on connections of their own
  std::chrono::milliseconds registrationBound = kViewerRegistrationBound;
  bool closing = false;
  bool running = false;  // a DownLoadButtonClick is on the stack
  // The proxy login the user gave, kept in memory for this run of the program only.
  std::optional<form::ProxyLogin> proxyLogin;
};

}  // namespace sorana::update
