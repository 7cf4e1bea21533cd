// Faults of the disk and of the downloaded content. A fault during the
// download installs nothing and leaves the window ready; a fault inside the
// installation stops at the failing entry with that entry's message, before
// anything of it is installed, and closes the window.
#include <sys/mount.h>

#include <cctype>
#include <filesystem>

#include "e2e/fault_matrix.h"
#include "e2e/installed_tree.h"
#include "install/failure_messages.h"
#include "install/szdd_compress.h"
#include "platform/version_info.h"
#include "tools/help_bundle_writer.h"
#include "unlha32/lha_writer.h"

namespace sorana::e2e {
namespace {

namespace fs = std::filesystem;
using app::BoxKind;
using app::Control;

constexpr size_t kPluginPosition = 50;
constexpr size_t kCorins5Position = 35;
constexpr size_t kCorins6Position = 36;
constexpr size_t kHelpPosition = 37;
constexpr size_t kLastTemplatePosition = 32;  // LIST.KO_, the first entry of "Template\港湾\KEN"

class FaultMatrixInstall : public FaultMatrixTest {
 protected:
  void SetUp() override {
    Prepare();
    list_ = catalogue::BuildFileList(false, Chosen());
  }

  // Runs one update; returns its session.
  std::unique_ptr<FormSession> Update() {
    auto session = std::make_unique<FormSession>();
    session->StartAndUpdate();
    return session;
  }

  // One failure box for the step's message, the window closed, the download
  // folder as the download left it, the user's files and record intact.
  void ExpectInstallationStopped(FormSession& session, const std::string& message) {
    std::vector<std::string> errors = session.Boxes(BoxKind::Error);
    ASSERT_EQ(errors.size(), 1u);
    const std::string prefix = FailureBoxPrefix(message);
    EXPECT_TRUE(errors[0].starts_with(prefix)) << errors[0];
    const std::string code = errors[0].substr(std::min(prefix.size(), errors[0].size()));
    EXPECT_TRUE(!code.empty() && std::all_of(code.begin(), code.end(), ::isdigit)) << code;
    EXPECT_TRUE(session.Boxes(BoxKind::Information).empty());
    EXPECT_TRUE(session.window.closed);
    EXPECT_TRUE(session.window.IsWindowEnabled());
    EXPECT_FALSE(session.window.busyCursor);
    for (const std::string& name : list_) {
      EXPECT_TRUE(fs::exists(scenario_->DownloadFolder(false) / name)) << name;
    }
    ExpectRecordIntact();
    EXPECT_EQ(ReadHostFile(scenario_->Product("VMSORANA.INI")),
              userFiles_.at(scenario_->Product("VMSORANA.INI")));
    EXPECT_EQ(ReadHostFile(scenario_->Product("OLD_BIN\\fotodesk.exe")),
              userFiles_.at(scenario_->Product("OLD_BIN\\fotodesk.exe")));
  }

  // The entries before the failing one are installed (there is no roll-back).
  void ExpectEntriesBeforeInstalled(size_t position) {
    EXPECT_GT(ExpectFilesInstalled(*scenario_, ExpectedPhaseFiles(false, Chosen(), position)), 10u);
  }

  std::vector<std::string> list_;
};

TEST_F(FaultMatrixInstall, DownloadFolderThatIsAFileStopsTheDownload) {
  WriteHostFile(scenario_->DownloadFolder(false), "not a folder");
  auto session = Update();
  std::vector<std::string> errors = session->Boxes(BoxKind::Error);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].ends_with("SorNewUp\\\" を使用できません。\rフォルダではありません。")) << errors[0];
  EXPECT_TRUE(session->IsReady());
  ExpectPhaseUntouched();
  ExpectUserFilesUnchanged();
  Row("disk: download folder unwritable (a file)", "one error box, nothing installed, ready");
}

TEST_F(FaultMatrixInstall, FullDownloadFileSystemStopsTheDownload) {
  const fs::path folder = scenario_->DownloadFolder(false);
  fs::create_directories(folder);
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=24k,mode=0700") != 0) {
    GTEST_SKIP() << "no tmpfs mount on this machine";
  }
  struct Unmount {
    fs::path path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{folder};
  auto session = Update();
  std::vector<std::string> errors = session->Boxes(BoxKind::Error);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].starts_with("[2004]")) << errors[0];
  EXPECT_TRUE(session->IsReady());
  ExpectPhaseUntouched();
  ExpectUserFilesUnchanged();
  Row("disk: download folder on a full file system", "one error box, nothing installed, ready");
}

TEST_F(FaultMatrixInstall, ReadOnlyInstallRootIsClearedAndUpdated) {
  const fs::path root = scenario_->Product("");
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    fs::permissions(entry.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  fs::permissions(root, fs::perms::owner_write, fs::perm_options::remove);
  auto session = Update();
  EXPECT_TRUE(session->Boxes(BoxKind::Error).empty());
  EXPECT_EQ(session->Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});
  ExpectFilesInstalled(*scenario_, ExpectedPhaseFiles(false, Chosen()));
  ExpectRecordIntact();
  Row("disk: read-only install root", "read-only cleared, phase installed");
}

TEST_F(FaultMatrixInstall, TemplateFolderThatCannotBeCreatedStopsAtItsSet) {
  WriteHostFile(scenario_->Product("New_BIN\\Template\\港湾"), "a file where the folder belongs");
  auto session = Update();
  ExpectInstallationStopped(
      *session, "コンポーネントの展開[Template\\港湾\\KEN CreateFolder]に失敗しました。終了します。");
  ExpectEntriesBeforeInstalled(kLastTemplatePosition);
  EXPECT_TRUE(PluginFolder(*scenario_, false).empty());
  Row("disk: template folder cannot be created", "its CreateFolder box, earlier entries stay, window closed");
}

TEST_F(FaultMatrixInstall, CorruptSzddFileStopsBeforeAnythingIsInstalled) {
  const std::string served = scenario_->Served(false, list_[kPluginPosition]);
  scenario_->Serve(false, list_[kPluginPosition], served.substr(0, served.size() / 2));
  auto session = Update();
  ExpectInstallationStopped(*session, install::PositionFailure(kPluginPosition));
  ExpectPhaseUntouched();  // the expansion precedes every installation step
  Row("content: corrupt (truncated) SZDD file", "its position box, nothing installed, window closed");
}

// A genuine member first, then the damage: the archive of CORINS5.lzh cut in
// its last member, and a CORINS6.lzh whose later members leave the folder.
std::string TruncatedArchive(const std::string& served) { return served.substr(0, served.size() * 3 / 5); }

std::string HostileArchive() {
  unlha32::LhaWriter writer;
  writer.AddFile("corins6.0\\CORINS.DAT", "genuine member");
  writer.AddFile("..\\..\\escaped.txt", "hostile member");
  writer.AddFile("C:\\escaped-absolute.txt", "hostile member");
  return writer.Finish();
}

TEST_F(FaultMatrixInstall, TruncatedArchiveStopsAtItsEntry) {
  scenario_->Serve(false, list_[kCorins5Position],
                   TruncatedArchive(scenario_->Served(false, list_[kCorins5Position])));
  auto session = Update();
  ExpectInstallationStopped(*session, install::PositionFailure(kCorins5Position));
  ExpectEntriesBeforeInstalled(kCorins5Position);
  EXPECT_FALSE(fs::exists(scenario_->Product("New_BIN\\corins6.0")));
  Row("content: truncated LHA archive", "its position box, later entries not run, window closed");
}

TEST_F(FaultMatrixInstall, HostileArchiveWritesNothingOutsideAndStops) {
  scenario_->Serve(false, list_[kCorins6Position], HostileArchive());
  auto session = Update();
  ExpectInstallationStopped(*session, install::PositionFailure(kCorins6Position));
  ExpectEntriesBeforeInstalled(kCorins6Position);
  EXPECT_FALSE(scenario_->Exists("C:\\VELMORA\\escaped.txt"));
  EXPECT_FALSE(scenario_->Exists("C:\\escaped-absolute.txt"));
  EXPECT_FALSE(scenario_->Exists("C:\\VELMORA\\SORANA\\escaped.txt"));
  Row("content: hostile LHA archive (.. and C:\\ members)",
      "its position box, nothing outside, window closed");
}

// "Before anything of that entry is installed" holds for archives only when a
// damaged archive is refused as a whole, not member by member.
TEST_F(FaultMatrixInstall, DamagedArchiveExtractsNoneOfItsMembers) {
  scenario_->Serve(false, list_[kCorins5Position],
                   TruncatedArchive(scenario_->Served(false, list_[kCorins5Position])));
  auto truncated = Update();
  ASSERT_TRUE(truncated->window.closed);
  EXPECT_FALSE(fs::exists(scenario_->Product("New_BIN\\corins5.0\\CORINS.DTD")));
  EXPECT_FALSE(fs::exists(scenario_->Product("New_BIN\\corins5.0\\CORINS.DAT")));

  truncated.reset();
  Prepare();  // a fresh machine for the second archive
  list_ = catalogue::BuildFileList(false, Chosen());
  scenario_->Serve(false, list_[kCorins6Position], HostileArchive());
  auto hostile = Update();
  ASSERT_TRUE(hostile->window.closed);
  EXPECT_FALSE(fs::exists(scenario_->Product("New_BIN\\corins6.0\\CORINS.DAT")));
  Row("content: damaged LHA archive, its good members", "none extracted before the failure");
}

TEST_F(FaultMatrixInstall, HostileHelpBundleRecordsAreSkipped) {
  const uint32_t stamp = tools::PackFatTime(2024, 4, 10, 9, 0, 0);
  std::vector<tools::HelpFile> files = {
      {"..\\..\\escaped.htm", stamp, "<p>out</p>\r\n"},
      {"C:\\escaped-absolute.htm", stamp, "<p>out</p>\r\n"},
      {"index.htm", stamp, "<p>help</p>\r\n"},
  };
  scenario_->Serve(false, list_[kHelpPosition], install::SzddCompress(tools::WriteHelpBundle(files), 'I'));
  auto session = Update();
  EXPECT_TRUE(session->Boxes(BoxKind::Error).empty());
  EXPECT_EQ(session->Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});
  EXPECT_EQ(ReadHostFile(scenario_->Product("New_BIN\\ヘルプ\\index.htm")), "<p>help</p>\r\n");
  EXPECT_FALSE(scenario_->Exists("C:\\VELMORA\\escaped.htm"));
  EXPECT_FALSE(scenario_->Exists("C:\\VELMORA\\SORANA\\escaped.htm"));
  EXPECT_FALSE(scenario_->Exists("C:\\escaped-absolute.htm"));
  ExpectRecordIntact();
  Row("content: hostile help bundle (.. and C:\\ paths)", "hostile records skipped, update completes");
}

class FaultMatrixProgram : public FaultMatrixTest {};

TEST_F(FaultMatrixProgram, MainProgramWithoutVersionRunsBothPhases) {
  Prepare({.installed = tools::VersionParts{2, 4, 0, 0}, .standards = Standards({0, 7})}, false);
  WriteHostFile(scenario_->Product("fotodesk.exe"), tools::MakeProgramFileWithoutVersion());
  FormSession session;
  ASSERT_TRUE(session.Start());
  EXPECT_EQ(session.window.Caption(Control::NowVersionLabel), "NowVersion: ");
  EXPECT_TRUE(session.Boxes(BoxKind::Confirmation).empty());
  session.form.DownLoadButtonClick();
  EXPECT_EQ(session.Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});
  ExpectFilesInstalled(*scenario_, ExpectedPhaseFiles(true, Chosen()));
  ExpectFilesInstalled(*scenario_, ExpectedPhaseFiles(false, Chosen()));
  EXPECT_EQ(platform::GetFileVersionText(std::string(kInstallRoot) + "OLD_BIN\\fotodesk.exe"), "v1.2.9.0");
  Row("content: main program without version information", "no question, both phases installed");
}

}  // namespace
}  // namespace sorana::e2e
