// The answer to a proxy that asks for a login (407) on WinHTTP: the strongest
// scheme it offers (Negotiate, NTLM, Digest, Basic); for NTLM and Negotiate
// first the user's own Windows login, without asking; then the login the user
// gave, once. After that the 407 goes to the caller, whose login box and
// refused-login box are the same on every host. The login lives in memory only.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <string>

namespace sorana::download {

class WinHttpProxyLogin {
 public:
  // `user` empty: no login given (the user's own Windows login may still serve).
  WinHttpProxyLogin(const std::string& user, const std::string& password);
  ~WinHttpProxyLogin();
  WinHttpProxyLogin(const WinHttpProxyLogin&) = delete;
  WinHttpProxyLogin& operator=(const WinHttpProxyLogin&) = delete;

  // Lets WinHTTP offer the user's own Windows login to the proxy (set before sending).
  static void AllowOwnLogin(HINTERNET request);
  // Called when `request`'s response head has arrived: true when it was a 407
  // and credentials for another attempt are set, so the request is to be sent again.
  bool Answer(HINTERNET request);

 private:
  std::wstring user_;
  std::wstring password_;
  bool ownLoginTried_ = false;
  bool givenLoginTried_ = false;
};

// The strongest of the schemes in `offered` (WINHTTP_AUTH_SCHEME_* bits); 0 when none is known.
DWORD StrongestProxyScheme(DWORD offered);

}  // namespace sorana::download
