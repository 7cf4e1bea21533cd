// TipwHTTP fetching into a local file, and each way a fetch fails: statuses,
// resets, an unwritable file, a silent server, a stop.
#include "download/tipw_http.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tipw_http_fixture.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace sorana::download {
namespace {

using namespace tipw_test;
using Clock = std::chrono::steady_clock;

double CpuSeconds() {
#ifdef _WIN32
  FILETIME created, ended, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
  auto seconds = [](const FILETIME& time) {
    return static_cast<double>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#endif
}

TEST_F(TipwHTTPTest, FetchesIntoLocalFileWithEventsAndOneConnection) {
  EXPECT_EQ(FetchCode("a.bin"), 0);
  EXPECT_EQ(test::TempPrefix::ReadFile(Local()), Bytes(300000));
  EXPECT_NE(events_.find("H(Content-Length)"), std::string::npos);
  EXPECT_TRUE(events_.ends_with("STE")) << events_;
  EXPECT_EQ(announced_, "300000");
  EXPECT_EQ(lastBytes_, 300000);
  EXPECT_FALSE(http_.InUse());

  EXPECT_EQ(FetchCode("b.bin"), 0);
  EXPECT_EQ(FetchCode("empty.bin"), 0);
  EXPECT_TRUE(fs::exists(Local()));
  EXPECT_EQ(fs::file_size(Local()), 0u);
  EXPECT_TRUE(events_.ends_with("SE")) << events_;
  EXPECT_EQ(server_.ConnectionCount(), 1);
}

TEST_F(TipwHTTPTest, StatusOutside2xxRaisesAndLeavesNoBodyButKeepsTheConnection) {
  const std::pair<HttpFault, std::string> faults[] = {{HttpFault::NotFound, "404 Not Found"},
                                                      {HttpFault::ServerError, "500 Internal Server Error"},
                                                      {HttpFault::Moved, "301 Moved Permanently"},
                                                      {HttpFault::Found, "302 Found"}};
  for (const auto& [fault, statusLine] : faults) {
    server_.SetFault("b.bin", fault);
    EXPECT_EQ(FetchCode("b.bin"), std::stoi(statusLine));
    EXPECT_EQ(message_, statusLine);
    EXPECT_FALSE(fs::exists(Local())) << statusLine;
    EXPECT_EQ(events_.find('S'), std::string::npos) << statusLine;
  }
  EXPECT_EQ(server_.Requests().size(), 4u);  // the redirects were not followed
  EXPECT_EQ(FetchCode("a.bin"), 0);
  EXPECT_EQ(server_.ConnectionCount(), 1);
}

TEST_F(TipwHTTPTest, ResetOrAbsentServerRaises) {
  server_.SetFault("a.bin", HttpFault::ResetMidBody);
  const int code = FetchCode("a.bin");
#ifdef _WIN32
  // WinHTTP under Wine may take a reset after part of the body for its end: the
  // short count reaches OnEndTransfer, where the download driver's length check
  // fails the file. Otherwise the reset is a connection error, as on Linux.
  const bool resetEndsTheBody = code == 0;
#else
  const bool resetEndsTheBody = false;
#endif
  if (resetEndsTheBody) {
    EXPECT_LT(lastBytes_, 300000);
  } else {
    EXPECT_NE(code, 0);
    EXPECT_FALSE(fs::exists(Local()));  // no half file is left
    EXPECT_EQ(events_.find('E'), std::string::npos);
  }

  int port = server_.Port();
  {
    test::HttpTestServer gone(server_.Root());
    port = gone.Port();
  }
  http_.LocalFile = Local().string();
  EXPECT_THROW(http_.Fetch("http://127.0.0.1:" + std::to_string(port) + "/f/a.bin"), EipwHTTP);
}

TEST_F(TipwHTTPTest, UnwritableLocalFileIsReportedOnceThroughTheErrorEvent) {
  std::vector<int> errors;
  http_.OnError = [&](int code, const std::string&) { errors.push_back(code); };
  http_.LocalFile = (files_.Scratch() / "missing-folder" / "a.bin").string();
  try {
    http_.Fetch(Url("a.bin"));
    ADD_FAILURE() << "no error";
  } catch (const EipwHTTP& error) {
    EXPECT_EQ(error.Code(), EipwHTTP::kLocalFile);
  }
  EXPECT_EQ(errors, std::vector<int>{EipwHTTP::kLocalFile});
  EXPECT_FALSE(http_.InUse());
}

TEST_F(TipwHTTPTest, HandlerExceptionBecomesTheFetchError) {
  server_.SetFault("a.bin", HttpFault::BadLength);
  server_.SetBadLength("99999999999");
  http_.OnHeader = [](const std::string& field, const std::string& value) {
    if (field == "Content-Length" && value.size() > 9) throw EipwHTTP(4242, "bad length " + value);
  };
  EXPECT_EQ(FetchCode("a.bin"), 4242);
  EXPECT_EQ(message_, "bad length 99999999999");
  EXPECT_FALSE(http_.InUse());
  EXPECT_EQ(FetchCode("b.bin"), 0);  // the instance is usable afterwards
}

TEST_F(TipwHTTPTest, SilentServerFailsAfterTheIdleLimitWithoutBurningCpu) {
  server_.SetFault("a.bin", HttpFault::Stall);
  server_.SetFault("b.bin", HttpFault::StallHeaders);
  int pumps = 0;
  http_.MessagePump = [&](int) { ++pumps; };
  double cpuBefore = CpuSeconds();
  Clock::time_point start = Clock::now();
  EXPECT_EQ(FetchCode("a.bin"), EipwHTTP::kIdleTimeout);
  EXPECT_EQ(FetchCode("b.bin"), EipwHTTP::kIdleTimeout);
  auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, milliseconds(2000));
  EXPECT_LT(elapsed, milliseconds(4000));
  EXPECT_LT(CpuSeconds() - cpuBefore, 0.3);
  EXPECT_GT(pumps, 20);  // the window kept processing its messages meanwhile
  EXPECT_NE(message_.find("No data received"), std::string::npos);
}

TEST_F(TipwHTTPTest, StopFromThePumpEndsATrickleQuickly) {
  server_.SetFault("a.bin", HttpFault::Trickle);
  server_.SetTrickle(64, milliseconds(20));
  Clock::time_point stopAt{};
  http_.MessagePump = [&](int) {
    if (lastBytes_ >= 640 && stopAt == Clock::time_point{}) {
      stopAt = Clock::now();
      http_.StopTransfer();
      http_.ClearState();  // as the cancel button does; the fetch still stops
    }
  };
  EXPECT_EQ(FetchCode("a.bin"), EipwHTTP::kStopped);
  // A fraction of a second, also on a loaded machine: not the rest of the trickle nor an idle limit.
  EXPECT_LT(Clock::now() - stopAt, milliseconds(500));
  EXPECT_FALSE(http_.InUse());
  // A stop outside a fetch does not touch the next one.
  http_.StopTransfer();
  http_.MessagePump = nullptr;
  EXPECT_EQ(FetchCode("b.bin"), 0);
}

}  // namespace
}  // namespace sorana::download
