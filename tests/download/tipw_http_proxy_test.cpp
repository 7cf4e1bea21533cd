// TipwHTTP through proxies: the configured one, the environment's or the
// user's Windows settings, and a proxy asking for a login.
#include "download/tipw_http.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tipw_http_fixture.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "scoped_env.h"
#endif

namespace sorana::download {
namespace {

using namespace tipw_test;

#ifndef _WIN32
TEST_F(TipwHTTPTest, ConfiguredProxyGetsAbsoluteFormAndEnvironmentProxyOnlyWithoutOne) {
  using test::ScopedEnv;
  ScopedEnv noProxy("no_proxy", std::nullopt);
  ScopedEnv noProxyUpper("NO_PROXY", std::nullopt);
  test::HttpTestServer environmentProxy(server_.Root());
  std::string environmentUrl = environmentProxy.BaseUrl();
  ScopedEnv httpProxy("http_proxy", environmentUrl);

  http_.LocalFile = Local().string();
  http_.ProxyServer = "127.0.0.1";
  http_.ProxyPort = server_.Port();
  http_.Fetch("http://update.invalid/f/b.bin");
  ASSERT_EQ(server_.RequestLines().size(), 1u);
  EXPECT_EQ(server_.RequestLines()[0], "GET http://update.invalid/f/b.bin HTTP/1.1");
  EXPECT_TRUE(environmentProxy.RequestLines().empty());

  http_.ClearState();
  EXPECT_EQ(http_.ProxyServer, "");
  http_.LocalFile = Local().string();
  http_.Fetch("http://update.invalid/f/a.bin");
  ASSERT_EQ(environmentProxy.RequestLines().size(), 1u);
  EXPECT_EQ(environmentProxy.RequestLines()[0], "GET http://update.invalid/f/a.bin HTTP/1.1");
  EXPECT_EQ(fs::file_size(Local()), 300000u);

  // An environment proxy without a port gets libcurl's default, never the
  // port of a proxy configured before ClearState.
  http_.ProxyServer = "127.0.0.1";
  http_.ProxyPort = server_.Port();
  FetchCode("b.bin");
  http_.ClearState();
  ScopedEnv portless("http_proxy", "http://127.0.0.1");
  size_t before = server_.Requests().size();
  http_.LocalFile = Local().string();
  EXPECT_THROW(http_.Fetch("http://update.invalid/f/b.bin"), EipwHTTP);
  EXPECT_EQ(server_.Requests().size(), before);
}
#else
// The proxy the user has set for Windows, as the settings dialog keeps it: a
// fixed proxy server and a bypass list, and an automatic configuration script,
// in the binary connection settings.
class UserProxySetting {
 public:
  UserProxySetting(const std::string& server, const std::string& bypass, const std::string& script = "") {
    std::string blob;
    auto dword = [&](uint32_t value) { blob.append(reinterpret_cast<const char*>(&value), sizeof value); };
    dword(0x46);                                                     // the format of the settings
    dword(0);                                                        // a change counter
    dword(1 | (server.empty() ? 0 : 2) | (script.empty() ? 0 : 4));  // direct, the proxy server, the script
    dword(static_cast<uint32_t>(server.size()));
    blob += server;
    dword(static_cast<uint32_t>(bypass.size()));
    blob += bypass;
    dword(static_cast<uint32_t>(script.size()));
    blob += script;
    blob.append(32, '\0');  // the rest unused
    LSTATUS status = RegSetKeyValueW(HKEY_CURRENT_USER, kConnections, L"DefaultConnectionSettings",
                                     REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));
    EXPECT_EQ(status, ERROR_SUCCESS);
  }
  ~UserProxySetting() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kConnections, L"DefaultConnectionSettings"); }

 private:
  static constexpr const wchar_t* kConnections =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
};

TEST_F(TipwHTTPTest, ConfiguredProxyGetsAbsoluteFormAndTheUsersWindowsProxyOnlyWithoutOne) {
  // WinHTTP names the default port in the absolute form; both forms mean the same.
  auto absolute = [](const test::HttpTestServer& proxy) {
    std::string target = proxy.Requests().empty() ? "" : proxy.Requests().back().target;
    if (target.starts_with("http://update.invalid:80/")) target.erase(21, 3);
    return target;
  };
  test::HttpTestServer userProxy(server_.Root());
  const std::string userProxyAddress = "127.0.0.1:" + std::to_string(userProxy.Port());
  {
    UserProxySetting setting(userProxyAddress, "");
    http_.LocalFile = Local().string();
    http_.ProxyServer = "127.0.0.1";
    http_.ProxyPort = server_.Port();
    http_.Fetch("http://update.invalid/f/b.bin");
    ASSERT_EQ(server_.RequestLines().size(), 1u);
    EXPECT_EQ(absolute(server_), "http://update.invalid/f/b.bin");
    EXPECT_TRUE(userProxy.RequestLines().empty());

    http_.ClearState();
    http_.LocalFile = Local().string();
    http_.Fetch("http://update.invalid/f/a.bin");
    ASSERT_EQ(userProxy.RequestLines().size(), 1u);
    EXPECT_EQ(absolute(userProxy), "http://update.invalid/f/a.bin");
    EXPECT_EQ(fs::file_size(Local()), 300000u);
  }
  {
    // A host on the user's bypass list is asked directly.
    UserProxySetting bypassing(userProxyAddress, "127.0.0.1");
    EXPECT_EQ(FetchCode("b.bin"), 0) << message_;
    EXPECT_EQ(userProxy.RequestLines().size(), 1u);
    EXPECT_EQ(server_.RequestLines().back(), "GET /f/b.bin HTTP/1.1");
  }
}

// A script the user's Windows settings name chooses the proxy for each URL;
// one that cannot be fetched leaves the named proxy.
TEST_F(TipwHTTPTest, UsersProxyScriptChoosesForEachUrlElseTheNamedProxy) {
  test::HttpTestServer scriptProxy(server_.Root());
  test::HttpTestServer namedProxy(server_.Root());
  test::TempPrefix::WriteFile(server_.Root() / "f" / "proxy.pac",
                              "function FindProxyForURL(url, host) {\n"
                              "  if (host == \"update.invalid\") return \"PROXY 127.0.0.1:" +
                                  std::to_string(scriptProxy.Port()) +
                                  "\";\n"
                                  "  return \"DIRECT\";\n}\n");
  const std::string named = "127.0.0.1:" + std::to_string(namedProxy.Port());
  {
    UserProxySetting setting(named, "", Url("proxy.pac"));
    http_.LocalFile = Local().string();
    http_.Fetch("http://update.invalid/f/a.bin");
    ASSERT_EQ(scriptProxy.RequestLines().size(), 1u);
    EXPECT_TRUE(scriptProxy.RequestLines()[0].starts_with("GET http://update.invalid"))
        << scriptProxy.RequestLines()[0];
    EXPECT_EQ(fs::file_size(Local()), 300000u);
    // The script sends the server's own address direct.
    EXPECT_EQ(FetchCode("b.bin"), 0) << message_;
    EXPECT_EQ(server_.RequestLines().back(), "GET /f/b.bin HTTP/1.1");
    EXPECT_TRUE(namedProxy.RequestLines().empty());
  }
  {
    UserProxySetting unreachable(named, "", Url("missing.pac"));
    TipwHTTP fresh;
    fresh.LocalFile = Local().string();
    fresh.Fetch("http://update.invalid/f/b.bin");
    ASSERT_EQ(namedProxy.RequestLines().size(), 1u);
    EXPECT_EQ(scriptProxy.RequestLines().size(), 1u);
  }
}

// Debian's squid asking for a login (scripts/windows test starts one per
// scheme): WinHTTP answers its 407 with the login given, in the scheme the
// proxy names; a wrong or missing login leaves the 407 to the caller, and only
// a request the proxy let through reaches the server.
TEST_F(TipwHTTPTest, ProxyAskingForALoginGetsTheGivenOne) {
  auto setting = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value == nullptr ? "" : value);
  };
  const std::string user = setting("SORANA_TEST_SQUID_USER");
  const std::string password = setting("SORANA_TEST_SQUID_PASSWORD");
  struct Row {
    const char* proxy;  // the variable that names it
    std::string user;
    std::string password;
    int code;
  };
  const Row rows[] = {
      {"SORANA_TEST_SQUID_BASIC", user, password, 0},
      {"SORANA_TEST_SQUID_BASIC", user, "wrong", EipwHTTP::kProxyLogin},
      {"SORANA_TEST_SQUID_BASIC", "", "", EipwHTTP::kProxyLogin},
      // Wine's WinHTTP has no Digest: the proxy's 407 is what the user sees.
      {"SORANA_TEST_SQUID_DIGEST", user, password, EipwHTTP::kProxyLogin},
  };
  http_.SetTimeouts(milliseconds(5000), milliseconds(5000));
  for (const Row& row : rows) {
    const std::string address = setting(row.proxy);
    SCOPED_TRACE(std::string(row.proxy) + " " + row.user + ":" + row.password);
    ASSERT_NE(address.find(':'), std::string::npos)
        << row.proxy << " is not set: scripts/windows test sets it";
    const size_t before = server_.Requests().size();
    fs::remove(Local());
    http_.ClearState();
    http_.ProxyServer = address.substr(0, address.find(':'));
    http_.ProxyPort = std::stoi(address.substr(address.find(':') + 1));
    http_.ProxyUser = row.user;
    http_.ProxyPassword = row.password;
    // The server by another name than the proxy's: Wine's WinHTTP asks a proxy
    // of the server's own host name as if it were the server.
    http_.LocalFile = Local().string();
    int code = 0;
    try {
      http_.Fetch("http://localhost:" + std::to_string(server_.Port()) + "/f/a.bin");
    } catch (const EipwHTTP& error) {
      code = error.Code();
      message_ = error.what();
    }
    EXPECT_EQ(code, row.code) << message_;
    if (row.code != 0) {
      EXPECT_EQ(message_, "407 Proxy Authentication Required");
      EXPECT_EQ(server_.Requests().size(), before);
      EXPECT_FALSE(fs::exists(Local()));
      continue;
    }
    EXPECT_EQ(fs::file_size(Local()), 300000u);
    ASSERT_EQ(server_.Requests().size(), before + 1);
    const auto headers = server_.Requests().back().headers;
    EXPECT_TRUE(headers.contains("via") && headers.at("via").find("sorana-test-proxy") != std::string::npos);
    EXPECT_FALSE(headers.contains("proxy-authorization"));  // the proxy's, not passed on
  }
}
#endif

}  // namespace
}  // namespace sorana::download
