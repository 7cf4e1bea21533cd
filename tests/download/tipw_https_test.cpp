// HTTPS through TipwHTTP: TLS is spoken, and a server whose certificate no
// trusted authority signed is refused (certificate checks stay on).
#include <httplib.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "download/tipw_http.h"
#include "support/temp_prefix.h"

namespace sorana::download {
namespace {

namespace fs = std::filesystem;

TEST(TipwHTTPS, SelfSignedServerIsRefusedAndNothingIsWritten) {
  test::TempPrefix files;
  const fs::path key = files.Scratch() / "key.pem";
  const fs::path cert = files.Scratch() / "cert.pem";
  const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -keyout '" +
                           key.string() + "' -out '" + cert.string() + "' >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "openssl cannot make a certificate here";

  httplib::SSLServer server(cert.c_str(), key.c_str());
  ASSERT_TRUE(server.is_valid());
  bool served = false;
  server.Get("/x", [&](const httplib::Request&, httplib::Response& res) {
    served = true;
    res.set_content("secret", "application/octet-stream");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread loop([&] { server.listen_after_bind(); });

  TipwHTTP http;
  http.SetTimeouts(std::chrono::milliseconds(5000), std::chrono::milliseconds(5000));
  http.LocalFile = (files.Scratch() / "out.bin").string();
  int code = 0;
  try {
    http.Fetch("https://127.0.0.1:" + std::to_string(port) + "/x");
  } catch (const EipwHTTP& error) {
    code = error.Code();
  }
  server.stop();
  loop.join();

  EXPECT_EQ(code, 60) << "CURLE_PEER_FAILED_VERIFICATION expected";
  EXPECT_FALSE(served);
  EXPECT_FALSE(fs::exists(http.LocalFile));
}

}  // namespace
}  // namespace sorana::download
