// The update server's address and the URLs of the catalogue's files.
#include "update/update_server.h"

#include <gtest/gtest.h>

#include "download/scoped_env.h"

namespace sorana::update {
namespace {

TEST(UpdateServer, EnvironmentOverridesAndNamesArePercentEncoded) {
  {
    test::ScopedEnv server("SORANA_UPDATE_SERVER", "http://127.0.0.1:8787/");
    EXPECT_EQ(UpdateServer(), "http://127.0.0.1:8787");
  }
  {
    test::ScopedEnv server("SORANA_UPDATE_SERVER", "");
    EXPECT_EQ(UpdateServer(), SORANA_TEST_DEFAULT_SERVER);
  }
  {
    // A host name beyond ASCII arrives as UTF-8 whatever the host's code page.
    test::ScopedEnv server("SORANA_UPDATE_SERVER", "http://更新.example/");
    EXPECT_EQ(UpdateServer(), "http://更新.example");
  }
  EXPECT_EQ(ComponentUrl("http://h", false, "FOTODESK.EX_"), "http://h/sorana/20240410/FOTODESK.EX_");
  EXPECT_EQ(ComponentUrl("http://h", true, "ヘルプ.lzh"),
            "http://h/sorana/v128/%E3%83%98%E3%83%AB%E3%83%97.lzh");
}

}  // namespace
}  // namespace sorana::update
