#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "driver_fixture.h"

namespace sorana::update {
namespace {

using namespace driver_test;

// A download folder that someone else could plant files in is refused before
// anything is fetched; a link planted inside a folder of ours is never written
// through. What the links point to stays as it was.
struct PlantedCase {
  const char* name;
  bool oldPhase;
  std::function<void(const fs::path& folder, const fs::path& victim)> plant;
  std::string box;  // the error box, or its start when files were fetched
};

class DownloadFolderTest : public DownloadDriverTest, public ::testing::WithParamInterface<PlantedCase> {};

TEST_P(DownloadFolderTest, NothingIsWrittenThroughIt) {
  const PlantedCase& c = GetParam();
#ifndef _WIN32
  if (std::string(c.name) == "ForeignOwner" && geteuid() != 0)
    GTEST_SKIP() << "giving a folder away needs root";
#endif
  Install(c.oldPhase ? std::nullopt : std::optional(test::VersionParts{2, 4, 0, 0}));
  window_.checks[7] = true;
  const fs::path victim = prefix_.Scratch() / "victim";
  test::TempPrefix::WriteFile(victim / "FOTODESK.EX_", "precious");
  const std::string folder = std::string(kTemp) + (c.oldPhase ? "SorOldUp" : "SorNewUp");
  c.plant(prefix_.HostC(folder), victim);
  driver_.DownLoadButtonClick();

  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].kind, BoxKind::Error);
  EXPECT_TRUE(window_.boxes[0].text.starts_with(c.box)) << window_.boxes[0].text;
  if (c.box.starts_with("ダウンロードフォルダ")) {
    EXPECT_EQ(window_.boxes[0].text, c.box);
    EXPECT_TRUE(server_.Requests().empty());
  }
  EXPECT_TRUE(calls_.empty());
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(victim)) left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"FOTODESK.EX_"});
  EXPECT_EQ(test::TempPrefix::ReadFile(victim / "FOTODESK.EX_"), "precious");
  ExpectIdle();
}

const std::string kRefused = std::string("ダウンロードフォルダ \"") + kTemp;

std::vector<PlantedCase> PlantedCases() {
  std::vector<PlantedCase> cases{
        PlantedCase{"File", false,
                    [](const fs::path& f, const fs::path&) { test::TempPrefix::WriteFile(f, "x"); },
                    kRefused + "SorNewUp\\\" を使用できません。\rフォルダではありません。"}};
#ifndef _WIN32
  // Links, owners and permissions: the Linux host's own ways to plant a folder.
  cases.insert(cases.end(), {
        PlantedCase{"Link", false,
                    [](const fs::path& f, const fs::path& v) { fs::create_directory_symlink(v, f); },
                    kRefused + "SorNewUp\\\" を使用できません。\rシンボリックリンクです。"},
        PlantedCase{"OldPhaseLink", true,
                    [](const fs::path& f, const fs::path& v) { fs::create_directory_symlink(v, f); },
                    kRefused + "SorOldUp\\\" を使用できません。\rシンボリックリンクです。"},
        PlantedCase{"ForeignOwner", false,
                    [](const fs::path& f, const fs::path&) {
                      fs::create_directories(f);
                      ASSERT_EQ(chown(f.c_str(), 4242, 4242), 0);
                    },
                    kRefused + "SorNewUp\\\" を使用できません。\r他のユーザーが所有しています。"},
        PlantedCase{"WorldWritable", false,
                    [](const fs::path& f, const fs::path&) {
                      fs::create_directories(f);
                      fs::permissions(f, fs::perms::all);
                    },
                    kRefused + "SorNewUp\\\" を使用できません。\r他のユーザーが書き込めます。"},
        // A folder of ours with a link at the first component's name: the component
        // reports that it cannot write the file, and the run stops.
        PlantedCase{"LinkInside", false,
                    [](const fs::path& f, const fs::path& v) {
                      fs::create_directories(f);
                      fs::permissions(f, fs::perms::owner_all);
                      fs::create_symlink(v / "FOTODESK.EX_", f / "FOTODESK.EX_");
                    },
                    "[2004]Cannot write "}});
#endif
  return cases;
}

INSTANTIATE_TEST_SUITE_P(
    Planted, DownloadFolderTest, ::testing::ValuesIn(PlantedCases()),
    [](const ::testing::TestParamInfo<PlantedCase>& info) { return info.param.name; });

}  // namespace
}  // namespace sorana::update
