// The standards list: loading from its record, recording it, the protection rule.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/protected_standards.h"
#include "app/standards_record.h"
#include "app_prefix.h"
#include "catalogue/standards.h"
#include "form/app_error.h"

namespace sorana::app {
namespace {

using test::StandardsRecord;

class StandardsTest : public ::testing::Test {
 protected:
  StandardsTest() {
    state.InstallRoot = "C:\\X\\";
    state.WorkFolder = "C:\\X\\";
    env.MakeFolderC("C:\\X");
  }

  std::vector<bool> Checks() const { return std::vector<bool>(window.checks.begin(), window.checks.end()); }

  test::AppPrefix env;
  test::FakeWindow window;
  form::FormState state;
};

TEST_F(StandardsTest, AllCheckedWithoutAnyRecord) {
  env.MakeFolderC("C:\\X\\NEW_BIN");
  LoadStandards(state, window);
  EXPECT_EQ(Checks(), std::vector<bool>(catalogue::kStandardCount, true));
  EXPECT_TRUE(state.ListLoaded);
  EXPECT_FALSE(env.ExistsC("C:\\X\\NEW_BIN\\Install.ini"));
}

TEST_F(StandardsTest, EntriesSetTheStatesAndMissingOnesUncheck) {
  env.WriteC("C:\\X\\NEW_BIN\\Install.ini",
             StandardsRecord({"国土交通省電子納品基準=1", "農林水産省電子納品基準=0",
                              "愛媛県電子納品基準=0x1", "高知県電子納品基準=yes", "京都市上下水道局=2"}));
  LoadStandards(state, window);
  std::vector<bool> expected(catalogue::kStandardCount, false);
  expected[0] = expected[2] = expected[21] = true;
  EXPECT_EQ(Checks(), expected);
}

TEST_F(StandardsTest, StagingCopyWinsOverTheInstallRootRecord) {
  env.WriteC("C:\\X\\Install.ini", StandardsRecord({"国土交通省電子納品基準=1", "愛媛県電子納品基準=1"}));
  const std::string staging = StandardsRecord({"国土交通省電子納品基準=1", "愛媛県電子納品基準=0"});
  env.WriteC("C:\\X\\NEW_BIN\\Install.ini", staging);
  LoadStandards(state, window);
  EXPECT_TRUE(window.checks[0]);
  EXPECT_FALSE(window.checks[2]);
  EXPECT_EQ(env.ReadC("C:\\X\\NEW_BIN\\Install.ini"), staging);
}

TEST_F(StandardsTest, StagingCopyIsSeededFromInstallRootElseOldBin) {
  env.MakeFolderC("C:\\X\\NEW_BIN");
  const std::string oldRecord = StandardsRecord({"水資源機構=1"});
  env.WriteC("C:\\X\\OLD_BIN\\Install.ini", oldRecord);
  LoadStandards(state, window);
  EXPECT_EQ(env.ReadC("C:\\X\\NEW_BIN\\Install.ini"), oldRecord);
  EXPECT_TRUE(window.checks[8]);
  EXPECT_FALSE(window.checks[0]);

  std::filesystem::remove(env.prefix.HostC("C:\\X\\NEW_BIN\\Install.ini"));
  const std::string rootRecord = StandardsRecord({"日本道路公団=1"});
  env.WriteC("C:\\X\\Install.ini", rootRecord);
  LoadStandards(state, window);
  EXPECT_EQ(env.ReadC("C:\\X\\NEW_BIN\\Install.ini"), rootRecord);
  EXPECT_TRUE(window.checks[7]);
  EXPECT_FALSE(window.checks[8]);
}

TEST_F(StandardsTest, WithoutNewBinToSeedAllStartCheckedWhateverIsRecorded) {
  env.WriteC("C:\\X\\Install.ini", StandardsRecord({"国土交通省電子納品基準=1"}));
  env.WriteC("C:\\X\\OLD_BIN\\Install.ini", StandardsRecord({"水資源機構=1"}));
  LoadStandards(state, window);
  EXPECT_EQ(Checks(), std::vector<bool>(catalogue::kStandardCount, true));
  EXPECT_FALSE(env.ExistsC("C:\\X\\NEW_BIN"));
}

TEST_F(StandardsTest, RecordWritesEveryEntryAndKeepsTheRest) {
  env.WriteC("C:\\X\\Install.ini",
             "[OTHER]\r\nkey=value\r\n[PULUGINLIST]\r\n国土交通省電子納品基準=0\r\n古い基準=1\r\n");
  for (int i = 0; i < catalogue::kStandardCount; ++i) window.checks[static_cast<size_t>(i)] = i % 2 == 0;
  RecordStandards(window, "C:\\X\\Install.ini");
  std::optional<std::string> text = env.ReadC("C:\\X\\Install.ini");
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("[OTHER]\r\nkey=value\r\n"), std::string::npos);
  EXPECT_NE(text->find("古い基準=1"), std::string::npos);
  for (int i = 0; i < catalogue::kStandardCount; ++i) {
    std::string entry =
        std::string(catalogue::kStandardCaptions[static_cast<size_t>(i)]) + (i % 2 == 0 ? "=1" : "=0");
    EXPECT_NE(text->find(entry + "\r\n"), std::string::npos) << entry;
  }
}

TEST_F(StandardsTest, RecordThatCannotBeWrittenRaises) {
  try {
    RecordStandards(window, "C:\\X\\nowhere\\Install.ini");
    FAIL() << "no error";
  } catch (const form::AppError& error) {
    EXPECT_STREQ(error.what(), "C:\\X\\nowhere\\Install.ini に書き込めません");
  }
}

TEST(ProtectionRuleTest, NationalStandardsCannotBeUnchecked) {
  for (int index : {0, 1}) {
    test::FakeWindow window;
    window.currentItem = index;
    window.checks[static_cast<size_t>(index)] = false;
    CheckListBox1ClickCheck(window);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].kind, form::BoxKind::Notice);
    EXPECT_EQ(window.boxes[0].text,
              "「" + std::string(catalogue::kStandardCaptions[static_cast<size_t>(index)]) +
                  "」の\r選択解除はできません。");
    EXPECT_TRUE(window.checks[static_cast<size_t>(index)]);
  }
  // The user checked it, or it is another standard, or no item is current.
  test::FakeWindow window;
  window.checks[0] = true;
  for (int index : {0, 2, 14, 21, -1}) {
    window.currentItem = index;
    CheckListBox1ClickCheck(window);
  }
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ(std::count(window.checks.begin(), window.checks.end(), true), 1);
}

}  // namespace
}  // namespace sorana::app
