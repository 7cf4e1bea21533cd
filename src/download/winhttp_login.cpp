#include "download/winhttp_login.h"

#include "download/winhttp_text.h"

namespace sorana::download {

DWORD StrongestProxyScheme(DWORD offered) {
  for (DWORD scheme : {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM, WINHTTP_AUTH_SCHEME_DIGEST,
                       WINHTTP_AUTH_SCHEME_BASIC}) {
    if ((offered & scheme) != 0) return scheme;
  }
  return 0;
}

WinHttpProxyLogin::WinHttpProxyLogin(const std::string& user, const std::string& password)
    : user_(Wide(user)), password_(Wide(password)) {}

WinHttpProxyLogin::~WinHttpProxyLogin() {
  // Nothing of the password stays in freed memory.
  SecureZeroMemory(password_.data(), password_.size() * sizeof(wchar_t));
}

void WinHttpProxyLogin::AllowOwnLogin(HINTERNET request) {
  // The proxy is no internet site: the user's own login may go to it. A
  // WinHTTP that does not take the option only loses that convenience.
  DWORD low = WINHTTP_AUTOLOGON_SECURITY_LEVEL_LOW;
  WinHttpSetOption(request, WINHTTP_OPTION_AUTOLOGON_POLICY, &low, sizeof low);
}

bool WinHttpProxyLogin::Answer(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX) ||
      status != HTTP_STATUS_PROXY_AUTH_REQ) {
    return false;
  }
  DWORD offered = 0;
  DWORD first = 0;
  DWORD target = 0;
  if (!WinHttpQueryAuthSchemes(request, &offered, &first, &target) || target != WINHTTP_AUTH_TARGET_PROXY) {
    return false;
  }
  const DWORD scheme = StrongestProxyScheme(offered);
  if (scheme == 0) return false;
  if ((scheme == WINHTTP_AUTH_SCHEME_NEGOTIATE || scheme == WINHTTP_AUTH_SCHEME_NTLM) && !ownLoginTried_) {
    ownLoginTried_ = true;
    // No name and no password: the login the user is signed in to Windows with.
    if (WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, scheme, nullptr, nullptr, nullptr)) return true;
  }
  if (user_.empty() || givenLoginTried_) return false;
  givenLoginTried_ = true;
  return WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, scheme, user_.c_str(), password_.c_str(),
                               nullptr) != FALSE;
}

}  // namespace sorana::download
