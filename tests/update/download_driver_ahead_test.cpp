#include "update/download_driver.h"

#include <gtest/gtest.h>

#include <array>

#include "driver_fixture.h"

namespace sorana::update {
namespace {

using namespace driver_test;

// The next files of the phase fetched ahead (the fault matrix has the same
// rows through whole updates; these run under Wine too). Each holds also with
// SORANA_PARALLEL_FETCHES=1, where nothing goes ahead.
enum class Ahead { OneConnectionOnly, FailsAtItsTurn, CancelWithAllInFlight };

std::string AheadName(Ahead row) {
  constexpr std::array<const char*, 3> kNames = {"OneConnectionOnly", "FailsAtItsTurn",
                                                 "CancelWithAllInFlight"};
  return kNames[static_cast<size_t>(row)];
}

class DownloadDriverAheadTest : public DownloadDriverTest, public ::testing::WithParamInterface<Ahead> {};

TEST_P(DownloadDriverAheadTest, ReportedInOrder) {
  Install(test::VersionParts{2, 4, 0, 0});
  window_.checks[7] = true;
  const std::vector<std::string> list = BuildFileList(false, [] {
    StandardChoice chosen{};
    chosen[7] = true;
    return chosen;
  }());
  const int lanes = ParallelFetches();
  bool seen = false;  // what the row waits for happened
  switch (GetParam()) {
    case Ahead::OneConnectionOnly:
      server_.SetConnectionLimit(1);
      break;
    case Ahead::FailsAtItsTurn:
      // File 6 is answered at once while file 5 trickles in for about half a second.
      server_.SetFault(list[5], HttpFault::NotFound);
      server_.SetFault(list[4], HttpFault::Trickle);
      server_.SetTrickle(ContentOf(list[4]).size() / 20, milliseconds(20));
      window_.onProcessMessages = [&] {
        if (seen || state_.FileIndex > 5) return;
        const std::vector<std::string> paths = PathsRequested();
        seen = std::any_of(paths.begin(), paths.end(),
                           [&](auto& path) { return path.ends_with("/" + list[5]); });
        if (seen) {
          EXPECT_TRUE(window_.boxes.empty());  // not before its turn
        }
      };
      break;
    case Ahead::CancelWithAllInFlight:
      for (size_t i = 4; i < 8; ++i) server_.SetFault(list[i], HttpFault::Trickle);
      server_.SetTrickle(8, milliseconds(20));
      window_.onProcessMessages = [&] {
        if (!seen && state_.FileIndex == 5 && state_.LastBytes > 0 && server_.Responding() >= lanes) {
          seen = true;
          driver_.CancelButtonClick();
        }
      };
      break;
  }
  auto start = std::chrono::steady_clock::now();
  driver_.DownLoadButtonClick();
  window_.onProcessMessages = nullptr;

  switch (GetParam()) {
    case Ahead::OneConnectionOnly:  // fewer connections, down to one, and no box
      EXPECT_TRUE(window_.boxes.empty()) << window_.boxes.front().text;
      ASSERT_EQ(calls_.size(), 1u);
      EXPECT_TRUE(calls_[0].allFilesWhole);
      EXPECT_EQ(server_.RefusedConnections() > 0, lanes > 1);
      break;
    case Ahead::FailsAtItsTurn:
      EXPECT_EQ(seen, lanes > 1);
      ASSERT_EQ(window_.boxes.size(), 1u);
      EXPECT_EQ(window_.boxes[0].text, "通信エラーが発生しました[6]\r" + list[5] + "\r\r404 Not Found");
      EXPECT_TRUE(calls_.empty());
      ExpectRequestsUpTo(PathsRequested(), 6);
      ExpectIdle();
      break;
    case Ahead::CancelWithAllInFlight:  // every transfer ends at once, no box
      EXPECT_TRUE(seen);
      EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(3000));
      EXPECT_TRUE(server_.WaitForNoneResponding(milliseconds(1000))) << server_.Responding() << " still sent";
      EXPECT_TRUE(window_.boxes.empty());
      EXPECT_TRUE(calls_.empty());
      ExpectIdle();
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, DownloadDriverAheadTest,
                         ::testing::Values(Ahead::OneConnectionOnly, Ahead::FailsAtItsTurn,
                                           Ahead::CancelWithAllInFlight),
                         [](const ::testing::TestParamInfo<Ahead>& info) { return AheadName(info.param); });
}  // namespace
}  // namespace sorana::update
