// TipwHTTP against the in-process test server, with its events recorded: the
// fixture of TipwHTTP's tests.
#pragma once

#include "download/tipw_http.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/http_test_server.h"
#include "support/temp_prefix.h"

namespace sorana::download::tipw_test {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using test::HttpFault;

inline std::string Bytes(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
  return bytes;
}

class TipwHTTPTest : public ::testing::Test {
 protected:
  TipwHTTPTest() : server_(files_.Scratch() / "site") {
    fs::create_directories(server_.Root() / "f");
    test::TempPrefix::WriteFile(server_.Root() / "f" / "a.bin", Bytes(300000));
    test::TempPrefix::WriteFile(server_.Root() / "f" / "b.bin", Bytes(1000));
    test::TempPrefix::WriteFile(server_.Root() / "f" / "empty.bin", "");
    http_.SetTimeouts(milliseconds(1000), milliseconds(1000));
    http_.OnHeader = [this](const std::string& field, const std::string& value) {
      events_ += "H(" + field + ")";
      if (field == "Content-Length") announced_ = value;
    };
    http_.OnStartTransfer = [this](int) { events_ += "S"; };
    http_.OnTransfer = [this](int, int64_t bytes, std::string_view) {
      if (events_.back() != 'T') events_ += "T";
      lastBytes_ = bytes;
    };
    http_.OnEndTransfer = [this](int) { events_ += "E"; };
  }

  std::string Url(const std::string& name) const { return server_.BaseUrl() + "/f/" + name; }
  fs::path Local() const { return files_.Scratch() / "out.bin"; }

  // Fetches and returns the error code, 0 on success.
  int FetchCode(const std::string& name) {
    events_.clear();
    http_.LocalFile = Local().string();
    try {
      http_.Fetch(Url(name));
      return 0;
    } catch (const EipwHTTP& error) {
      message_ = error.what();
      return error.Code();
    }
  }

  test::TempPrefix files_;
  test::HttpTestServer server_;
  TipwHTTP http_;
  std::string events_;
  std::string announced_;
  std::string message_;
  int64_t lastBytes_ = 0;
};

}  // namespace sorana::download::tipw_test
