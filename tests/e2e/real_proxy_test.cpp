// Whole updates through real forward proxies: Debian's tinyproxy, which closes
// the client's connection after every response (both phases with all
// standards, three times in a row, without a communication error), and squid
// asking for a login, given in the login box or in http_proxy. Every request
// reaches the update server through the proxy.
#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "download/scoped_env.h"
#include "e2e/form_session.h"
#include "e2e/real_proxy_server.h"
#include "e2e/update_scenario.h"

namespace sorana::e2e {
namespace {

using form::BoxKind;

void ExpectEveryRequestThrough(UpdateScenario& scenario, const RealProxyServer& proxy) {
  for (const test::HttpRequest& request : scenario.Server().Requests()) {
    auto via = request.headers.find("via");
    ASSERT_TRUE(via != request.headers.end() &&
                via->second.find(RealProxyServer::kViaName) != std::string::npos)
        << request.requestLine << "\n"
        << proxy.Log();
  }
}

void UseProxy(UpdateScenario& scenario, int port, const char* version) {
  WriteHostFile(scenario.Product("VMSORANA.INI"), "PROXYIP=127.0.0.1\r\nPROXYPORT=" + std::to_string(port) +
                                                      "\r\nPATH=" + kInstallRoot + "\r\nVER=" + version +
                                                      "\r\n");
}

TEST(RealProxyTest, ThreeFullUpdatesInARowPassThroughTinyproxy) {
  RealProxyServer proxy(RealProxyServer::Kind::Tinyproxy);
  const size_t files = catalogue::BuildFileList(true, AllStandards()).size() +
                       catalogue::BuildFileList(false, AllStandards()).size();
  for (int run = 1; run <= 3; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    UpdateScenario scenario({.installed = tools::VersionParts{1, 1, 0, 0}, .standards = AllStandards()});
    UseProxy(scenario, proxy.Port(), "1.1.0");
    FormSession session;
    session.StartAndUpdate();
    std::vector<std::string> errors = session.Boxes(BoxKind::Error);
    ASSERT_TRUE(errors.empty()) << errors.front() << "\n" << proxy.Log();
    ASSERT_EQ(session.Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});

    // Each file was asked for once, and through the proxy.
    EXPECT_EQ(scenario.Server().Requests().size(), files);
    ExpectEveryRequestThrough(scenario, proxy);
  }
}

struct LoginRow {
  const char* name;
  RealProxyServer::Kind kind;
  bool inEnvironment;    // the login in http_proxy's URL; else the proxy set under 設定 and the login box
  const char* password;  // a wrong one is refused
};

class ProxyLoginTest : public ::testing::TestWithParam<LoginRow> {};

// A later update (the new-version phase) through squid asking for the row's scheme.
TEST_P(ProxyLoginTest, UpdateGoesThroughWithTheLogin) {
  const LoginRow& row = GetParam();
  const bool refused = std::string(row.password) != RealProxyServer::kPassword;
  RealProxyServer proxy(row.kind);
  UpdateScenario scenario({.installed = tools::VersionParts{2, 4, 0, 0}, .standards = Standards({0, 3})});
  scenario.UseTwoFolderLayout();
  std::optional<test::ScopedEnv> environment;
  FormSession session;
  if (row.inEnvironment) {
    // The password as a URL spells it.
    std::string password = row.password;
    if (size_t blank = password.find(' '); blank != std::string::npos) password.replace(blank, 1, "%20");
    environment.emplace("http_proxy", std::string("http://") + RealProxyServer::kUser + ":" + password +
                                          "@127.0.0.1:" + std::to_string(proxy.Port()));
  } else {
    UseProxy(scenario, proxy.Port(), "2.4.0");
    session.window.loginAnswers.push_back({RealProxyServer::kUser, row.password});
  }
  session.StartAndUpdate();

  // The login box once, for the proxy set under 設定 only; the password kept for every file.
  EXPECT_EQ(session.window.loginPrompts.size(), row.inEnvironment ? 0u : 1u);
  std::vector<std::string> errors = session.Boxes(BoxKind::Error);
  if (refused) {
    ASSERT_EQ(errors.size(), 1u) << proxy.Log();
    EXPECT_NE(errors[0].find("407"), std::string::npos) << errors[0];
    EXPECT_TRUE(scenario.Server().Requests().empty());
    return;
  }
  ASSERT_TRUE(errors.empty()) << errors.front() << "\n" << proxy.Log();
  EXPECT_EQ(session.Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});
  EXPECT_EQ(scenario.Server().Requests().size(), catalogue::BuildFileList(false, Standards({0, 3})).size());
  ExpectEveryRequestThrough(scenario, proxy);
}

using Kind = RealProxyServer::Kind;
INSTANTIATE_TEST_SUITE_P(
    Squid, ProxyLoginTest,
    ::testing::Values(LoginRow{"BasicInTheLoginBox", Kind::SquidBasic, false, RealProxyServer::kPassword},
                      LoginRow{"DigestInTheLoginBox", Kind::SquidDigest, false, RealProxyServer::kPassword},
                      LoginRow{"BasicInHttpProxy", Kind::SquidBasic, true, RealProxyServer::kPassword},
                      LoginRow{"DigestInHttpProxy", Kind::SquidDigest, true, RealProxyServer::kPassword},
                      LoginRow{"DigestRefused", Kind::SquidDigest, false, "wrong"}),
    [](const ::testing::TestParamInfo<LoginRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sorana::e2e
