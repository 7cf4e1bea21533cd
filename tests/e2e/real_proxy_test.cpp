// Whole updates through a real forward proxy (Debian's tinyproxy), which closes
// the client's connection after every response: both phases with all
// standards, three times in a row, without a communication error, and every
// request reaches the update server through the proxy.
#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "e2e/form_session.h"
#include "e2e/tinyproxy_server.h"
#include "e2e/update_scenario.h"

namespace sorana::e2e {
namespace {

using app::BoxKind;

TEST(RealProxyTest, ThreeFullUpdatesInARowPassThroughTinyproxy) {
  TinyproxyServer proxy;
  const size_t files = catalogue::BuildFileList(true, AllStandards()).size() +
                       catalogue::BuildFileList(false, AllStandards()).size();
  for (int run = 1; run <= 3; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    UpdateScenario scenario({.installed = tools::VersionParts{1, 1, 0, 0}, .standards = AllStandards()});
    WriteHostFile(scenario.Product("VMSORANA.INI"),
                  "PROXYIP=127.0.0.1\r\nPROXYPORT=" + std::to_string(proxy.Port()) +
                      "\r\nPATH=" + kInstallRoot + "\r\nVER=1.1.0\r\n");
    FormSession session;
    session.StartAndUpdate();
    std::vector<std::string> errors = session.Boxes(BoxKind::Error);
    ASSERT_TRUE(errors.empty()) << errors.front() << "\n" << proxy.Log();
    ASSERT_EQ(session.Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});

    // Each file was asked for once, and through the proxy.
    const std::vector<test::HttpRequest> requests = scenario.Server().Requests();
    EXPECT_EQ(requests.size(), files);
    for (const test::HttpRequest& request : requests) {
      auto via = request.headers.find("via");
      ASSERT_TRUE(via != request.headers.end() &&
                  via->second.find(TinyproxyServer::kViaName) != std::string::npos)
          << request.requestLine;
    }
  }
}

}  // namespace
}  // namespace sorana::e2e
