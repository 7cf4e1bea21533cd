// The proxy of each request on Windows: the one configured under 設定 for every
// host; else what the user's Windows settings say for the URL, following an
// automatic configuration script (PAC) they name or that detection (WPAD)
// finds, falling back to their named proxy and bypass list, then to none.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "download/http_transport.h"

namespace sorana::download {

// "host:port" (or the list a script gives) and a bypass list; empty: none.
struct WinHttpProxy {
  std::wstring server;
  std::wstring bypass;
  bool operator==(const WinHttpProxy&) const = default;
};

class WinHttpProxyChooser {
 public:
  WinHttpProxyChooser() = default;
  ~WinHttpProxyChooser();
  WinHttpProxyChooser(const WinHttpProxyChooser&) = delete;
  WinHttpProxyChooser& operator=(const WinHttpProxyChooser&) = delete;

  WinHttpProxy For(const HttpRequest& request);

 private:
  // Asks the script at `scriptUrl`, or the one detection finds when it is
  // empty; false when there is no answer.
  bool FromScript(const std::wstring& url, const std::wstring& scriptUrl, WinHttpProxy& proxy);

  HINTERNET resolver_ = nullptr;  // a synchronous session that fetches and runs the scripts
  // A script that could not be had, or a detection that found none, is not
  // tried again for every file of the run.
  bool scriptFailed_ = false;
  bool detectionFailed_ = false;
};

}  // namespace sorana::download
