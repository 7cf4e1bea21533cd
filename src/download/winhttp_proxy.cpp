#include "download/winhttp_proxy.h"

#include "download/winhttp_text.h"

namespace sorana::download {

namespace {

// A script's fetch and run stay short: they hold up the window's thread.
constexpr int kScriptTimeoutMs = 10000;

void Free(wchar_t* text) {
  if (text != nullptr) GlobalFree(text);
}

}  // namespace

WinHttpProxyChooser::~WinHttpProxyChooser() {
  if (resolver_ != nullptr) WinHttpCloseHandle(resolver_);
}

WinHttpProxy WinHttpProxyChooser::For(const HttpRequest& request) {
  WinHttpProxy proxy;
  if (!request.proxyServer.empty()) {
    proxy.server = Wide(request.proxyServer + ":" + std::to_string(request.proxyPort));
    return proxy;
  }
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&user)) return proxy;
  const std::wstring url = Wide(request.url);
  bool scripted = false;
  if (user.lpszAutoConfigUrl != nullptr && !scriptFailed_) {
    scripted = FromScript(url, user.lpszAutoConfigUrl, proxy);
    scriptFailed_ = !scripted;
  }
  if (!scripted && user.fAutoDetect && !detectionFailed_) {
    scripted = FromScript(url, L"", proxy);
    detectionFailed_ = !scripted;
  }
  if (!scripted && user.lpszProxy != nullptr) {
    proxy.server = user.lpszProxy;
    if (user.lpszProxyBypass != nullptr) proxy.bypass = user.lpszProxyBypass;
  }
  Free(user.lpszProxy);
  Free(user.lpszProxyBypass);
  Free(user.lpszAutoConfigUrl);
  return proxy;
}

bool WinHttpProxyChooser::FromScript(const std::wstring& url, const std::wstring& scriptUrl, WinHttpProxy& proxy) {
  if (resolver_ == nullptr) {
    resolver_ = WinHttpOpen(L"SoranaUpdater", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0);
    if (resolver_ == nullptr) return false;
    WinHttpSetTimeouts(resolver_, kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs);
  }
  WINHTTP_AUTOPROXY_OPTIONS options{};
  if (scriptUrl.empty()) {
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  } else {
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = scriptUrl.c_str();
  }
  // The script may want the user's own login to be fetched.
  options.fAutoLogonIfChallenged = TRUE;
  WINHTTP_PROXY_INFO info{};
  if (!WinHttpGetProxyForUrl(resolver_, url.c_str(), &options, &info)) return false;
  proxy = {};
  if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy != nullptr) {
    proxy.server = info.lpszProxy;
    if (info.lpszProxyBypass != nullptr) proxy.bypass = info.lpszProxyBypass;
  }
  Free(info.lpszProxy);
  Free(info.lpszProxyBypass);
  return true;
}

}  // namespace sorana::download
