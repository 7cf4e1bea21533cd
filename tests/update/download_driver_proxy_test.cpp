// A run through a proxy: the configured one, and one asking for a login.
#include "update/download_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "driver_fixture.h"

namespace sorana::update {
namespace {

using namespace driver_test;

TEST_F(DownloadDriverTest, ConfiguredProxyCarriesEveryRequest) {
  Install(test::VersionParts{2, 4, 0, 0});
  window_.checks[21] = true;
  test::ScopedEnv unreachable("SORANA_UPDATE_SERVER", std::string("http://update.invalid"));
  state_.ProxyIP = "127.0.0.1";
  state_.ProxyPortNo = static_cast<uint16_t>(server_.Port());
  driver_.DownLoadButtonClick();
  ASSERT_EQ(calls_.size(), 1u);
  std::vector<std::string> lines = server_.RequestLines();
  ASSERT_EQ(lines.size(), 45u);
#ifdef _WIN32
  // WinHTTP names the port in the proxy's request line.
  EXPECT_EQ(lines[0], "GET http://update.invalid:80/sorana/20240410/FOTODESK.EX_ HTTP/1.1");
#else
  EXPECT_EQ(lines[0], "GET http://update.invalid/sorana/20240410/FOTODESK.EX_ HTTP/1.1");
#endif
}

#ifdef _WIN32
// Debian's squid asking for a Basic login (scripts/windows test starts it; the
// Linux side has the same through whole updates in e2e/real_proxy_test.cpp):
// the login box is shown once, its answer carries every file; a refused one
// shows the proxy's answer in the error box, and a cancelled box the 407.
TEST_F(DownloadDriverTest, ProxyLoginFromTheLoginBox) {
  struct Row {
    const char* name;
    const char* password;  // nullptr: the box is cancelled
    bool installed;
  };
  const char* squid = std::getenv("SORANA_TEST_SQUID_BASIC");
  const char* user = std::getenv("SORANA_TEST_SQUID_USER");
  const char* password = std::getenv("SORANA_TEST_SQUID_PASSWORD");
  ASSERT_TRUE(squid != nullptr && user != nullptr && password != nullptr)
      << "scripts/windows test starts squid";
  const std::string address = squid;
  // The server by a name other than the proxy's: Wine's WinHTTP asks a proxy of
  // the server's own host name as if it were the server.
  test::ScopedEnv server("SORANA_UPDATE_SERVER", "http://localhost:" + std::to_string(server_.Port()));
  Install(test::VersionParts{2, 4, 0, 0});
  window_.checks[21] = true;
  state_.ProxyIP = address.substr(0, address.find(':'));
  state_.ProxyPortNo = static_cast<uint16_t>(std::stoi(address.substr(address.find(':') + 1)));
  for (const Row& row :
       {Row{"refused", "wrong", false}, Row{"cancelled", nullptr, false}, Row{"given", password, true}}) {
    SCOPED_TRACE(row.name);
    window_.boxes.clear();
    window_.loginPrompts.clear();
    if (row.password != nullptr) window_.loginAnswers.push_back({user, row.password});
    const size_t requests = server_.Requests().size();
    driver_.DownLoadButtonClick();
    EXPECT_EQ(window_.loginPrompts.size(), 1u);
    ASSERT_EQ(calls_.size(), row.installed ? 1u : 0u);
    if (row.installed) {
      EXPECT_TRUE(window_.boxes.empty());
      EXPECT_TRUE(calls_[0].allFilesWhole);
      EXPECT_EQ(server_.Requests().size(), requests + 45);
      continue;
    }
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].text,
              "通信エラーが発生しました[1]\rFOTODESK.EX_\r\r407 Proxy Authentication Required");
    EXPECT_EQ(server_.Requests().size(), requests);
    ExpectIdle();
  }
}
#endif
}  // namespace
}  // namespace sorana::update
