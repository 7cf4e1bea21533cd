#include "download/transfer_progress.h"

#include <gtest/gtest.h>

#include "support/fake_window.h"

namespace sorana::download {
namespace {

using form::Control;

class TransferProgressTest : public ::testing::Test {
 protected:
  TransferProgressTest() : progress_(state_, window_) {
    state_.FileList.assign(24, "X.SP_");
    state_.FileIndex = 1;
    state_.OldPhase = true;
  }
  form::FormState state_;
  test::FakeWindow window_;
  TransferProgress progress_;
};

TEST_F(TransferProgressTest, PhasePercentAndBytesTexts) {
  progress_.ipwHTTPHeader("content-length", "81920");
  EXPECT_EQ(state_.ContentLength, 81920.0);
  progress_.ipwHTTPStartTransfer(1);
  EXPECT_EQ(window_.Caption(Control::MsgLabel), "アップデートコンポーネント(1)のダウンロード 4%");
  progress_.ipwHTTPTransfer(1, 4096, "");
  EXPECT_EQ(window_.Caption(Control::ProgressLabel), "4096/81920 Bytes Completion");
  EXPECT_EQ(window_.Progress(), 5);
  progress_.ipwHTTPTransfer(1, 81920, "");
  progress_.ipwHTTPEndTransfer(1);
  EXPECT_EQ(window_.Caption(Control::ProgressLabel), "81920 Bytes Completed");
  EXPECT_FALSE(state_.PhaseComplete);  // not the last file

  state_.OldPhase = false;
  state_.FileIndex = 24;
  progress_.ipwHTTPStartTransfer(1);
  EXPECT_EQ(window_.Caption(Control::MsgLabel), "アップデートコンポーネント(2)のダウンロード 100%");
  progress_.ipwHTTPEndTransfer(1);
  EXPECT_TRUE(state_.PhaseComplete);
}

TEST_F(TransferProgressTest, LargeLengthsReadAsPlainDigits) {
  for (std::string length : {"100000", "12000000", "2147483646"}) {
    progress_.ipwHTTPHeader("Content-Length", length);
    progress_.ipwHTTPTransfer(1, 4096, "");
    EXPECT_EQ(window_.Caption(Control::ProgressLabel), "4096/" + length + " Bytes Completion");
    progress_.ipwHTTPTransfer(1, std::stoll(length), "");
    progress_.ipwHTTPEndTransfer(1);
    EXPECT_EQ(window_.Caption(Control::ProgressLabel), length + " Bytes Completed");
  }
}

TEST_F(TransferProgressTest, BarRoundsHalvesToEven) {
  state_.ContentLength = 200;
  std::vector<int> positions;
  for (int bytes : {1, 3, 5, 199}) {
    progress_.ipwHTTPTransfer(1, bytes, "");
    positions.push_back(window_.Progress());
  }
  EXPECT_EQ(positions, (std::vector<int>{0, 2, 2, 100}));
  state_.ContentLength = 0;  // an empty file: 0 of 0 is all of it
  progress_.ipwHTTPTransfer(1, 0, "");
  EXPECT_EQ(window_.Progress(), 100);
}

TEST_F(TransferProgressTest, ShortOrUnannouncedFileSpoilsThePhase) {
  // No length header: the placeholder length stays.
  progress_.ipwHTTPStartTransfer(1);
  progress_.ipwHTTPTransfer(1, 1000, "");
  progress_.ipwHTTPEndTransfer(1);
  EXPECT_EQ(window_.progressLabelHistory.at(window_.progressLabelHistory.size() - 2),
            "2147483647 Bytes Completed");
  EXPECT_EQ(window_.Caption(Control::MsgLabel), form::kStartPrompt);
  EXPECT_EQ(window_.Caption(Control::ProgressLabel), "");
  EXPECT_EQ(state_.LastBytes, 0);
  EXPECT_FALSE(state_.PhaseIntact);

  // The last file arriving whole does not complete a phase with a short file.
  state_.FileIndex = 24;
  state_.ContentLength = 10;
  progress_.ipwHTTPTransfer(1, 10, "");
  progress_.ipwHTTPEndTransfer(1);
  EXPECT_FALSE(state_.PhaseComplete);
}

TEST_F(TransferProgressTest, BadLengthRaisesAndErrorEventShowsOneBox) {
  for (const char* bad : {"12abc", "", "99999999999", "1.5"}) {
    EXPECT_THROW(progress_.ipwHTTPHeader("Content-Length", bad), EipwHTTP) << bad;
  }
  progress_.ipwHTTPHeader("X-Other", "abc");  // other headers are ignored
  progress_.ipwHTTPError(301, "Disk full");
  progress_.ipwHTTPError(302, "Again");
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text, "[301]Disk full");
  EXPECT_TRUE(state_.Cancelled);
  // A cancelled run still clears the labels but shows no percentages.
  window_.msgLabelHistory.clear();
  progress_.ipwHTTPStartTransfer(1);
  EXPECT_TRUE(window_.msgLabelHistory.empty());
}

}  // namespace
}  // namespace sorana::download
