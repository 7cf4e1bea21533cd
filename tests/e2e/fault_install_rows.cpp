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
using form::BoxKind;
using form::Control;

constexpr size_t kCorins5Position = 35;
constexpr size_t kCorins6Position = 36;
constexpr size_t kHelpPosition = 37;
constexpr size_t kLastTemplatePosition = 32;  // LIST.KO_, the first entry of "Template\港湾\KEN"

void FullDownloadFileSystem(FaultMatrix& m) {
  const fs::path folder = m.scenario->DownloadFolder(false);
  fs::create_directories(folder);
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=24k,mode=0700") != 0) {
    GTEST_SKIP() << "no tmpfs mount on this machine";
  }
  m.held = std::shared_ptr<void>(nullptr, [folder](void*) { umount2(folder.c_str(), MNT_DETACH); });
}

void ReadOnlyInstallRoot(FaultMatrix& m) {
  const fs::path root = m.scenario->Product("");
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    fs::permissions(entry.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  fs::permissions(root, fs::perms::owner_write, fs::perm_options::remove);
}

// Serves `bytes` in place of the entry at `position`; given the entry's genuine bytes.
FaultStep ServeInstead(size_t position, std::function<std::string(const std::string&)> bytes) {
  return [position, bytes](FaultMatrix& m) {
    m.scenario->Serve(false, m.list[position], bytes(m.scenario->Served(false, m.list[position])));
  };
}

std::string FirstHalf(const std::string& served) { return served.substr(0, served.size() / 2); }
// The archive of CORINS5.lzh cut in its last member.
std::string TruncatedArchive(const std::string& served) { return served.substr(0, served.size() * 3 / 5); }

// A genuine member first, then members that leave the folder.
std::string HostileArchive(const std::string&) {
  unlha32::LhaWriter writer;
  writer.AddFile("corins6.0\\CORINS.DAT", "genuine member");
  writer.AddFile("..\\..\\escaped.txt", "hostile member");
  writer.AddFile("C:\\escaped-absolute.txt", "hostile member");
  return writer.Finish();
}

std::string HostileHelpBundle(const std::string&) {
  const uint32_t stamp = tools::PackFatTime(2024, 4, 10, 9, 0, 0);
  return install::SzddCompress(tools::WriteHelpBundle({{"..\\..\\escaped.htm", stamp, "<p>out</p>\r\n"},
                                                       {"C:\\escaped-absolute.htm", stamp, "<p>out</p>\r\n"},
                                                       {"index.htm", stamp, "<p>help</p>\r\n"}}),
                               'I');
}

// The download's one error box, starting and ending as given; the window ready, nothing installed.
FaultStep DiskErrorBox(std::string start, std::string end = "") {
  return [start, end](FaultMatrix& m) {
    std::vector<std::string> errors = m.session->Boxes(BoxKind::Error);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_TRUE(!errors.empty() && errors[0].starts_with(start) && errors[0].ends_with(end))
        << testing::PrintToString(errors);
    EXPECT_TRUE(m.session->IsReady());
    ExpectPhaseUntouched(m);
    ExpectUserFilesUnchanged(m);
  };
}

// One failure box for the step's message, the window closed, the download
// folder as the download left it, the user's files and record intact.
FaultStep InstallationStopped(std::string message) {
  return [message](FaultMatrix& m) {
    FormSession& session = *m.session;
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
    for (const std::string& name : m.list) {
      EXPECT_TRUE(fs::exists(m.scenario->DownloadFolder(false) / name)) << name;
    }
    ExpectRecordIntact(m);
    for (const char* relative : {"VMSORANA.INI", "OLD_BIN\\fotodesk.exe"}) {
      EXPECT_EQ(ReadHostFile(m.scenario->Product(relative)), m.userFiles.at(m.scenario->Product(relative)));
    }
  };
}

// The entries before the failing one are installed (there is no roll-back).
FaultStep EntriesBeforeInstalled(size_t position) {
  return [position](FaultMatrix& m) {
    EXPECT_GT(ExpectFilesInstalled(*m.scenario, ExpectedPhaseFiles(false, m.chosen, position)), 10u);
  };
}

void NoPlugins(FaultMatrix& m) { EXPECT_TRUE(PluginFolder(*m.scenario, false).empty()); }

// The update completed: no error box, the completion box, the record intact.
void Completed(FaultMatrix& m) {
  EXPECT_TRUE(m.session->Boxes(BoxKind::Error).empty());
  EXPECT_EQ(m.session->Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});
  ExpectRecordIntact(m);
}

FaultStep PhaseInstalled(bool oldPhase) {
  return [oldPhase](FaultMatrix& m) {
    ExpectFilesInstalled(*m.scenario, ExpectedPhaseFiles(oldPhase, m.chosen));
  };
}

// Without version information there is nothing to compare, so no question:
// the click runs both phases.
void StartWithoutVersionThenClick(FaultMatrix& m) {
  m.session = std::make_unique<FormSession>();
  ASSERT_TRUE(m.session->Start());
  EXPECT_EQ(m.session->window.Caption(Control::NowVersionLabel), "NowVersion: ");
  EXPECT_TRUE(m.session->Boxes(BoxKind::Confirmation).empty());
  m.session->form.DownLoadButtonClick();
}

FaultStep Absent(std::vector<std::string> windowsPaths) {
  return [windowsPaths](FaultMatrix& m) {
    for (const std::string& path : windowsPaths) EXPECT_FALSE(m.scenario->Exists(path)) << path;
  };
}

std::string Installed(const char* relative) { return std::string(kInstallRoot) + relative; }

// Writes `bytes` where the Windows path below the install root is.
FaultStep WriteInstead(const char* relative, std::string bytes) {
  return [relative, bytes](FaultMatrix& m) { WriteHostFile(m.scenario->Product(relative), bytes); };
}

}  // namespace

// clang-format off
std::vector<FaultRow> InstallRows() {
  const char* stopped = "one error box, nothing installed, ready";
  return {
    {.name = "DownloadFolderIsAFile", .fault = "disk: download folder unwritable (a file)",
     .outcome = stopped,
     .inject = [](FaultMatrix& m) { WriteHostFile(m.scenario->DownloadFolder(false), "not a folder"); },
     .seen = {DiskErrorBox("", "SorNewUp\\\" を使用できません。\rフォルダではありません。")}},
    {.name = "DownloadFolderFull", .fault = "disk: download folder on a full file system", .outcome = stopped,
     .inject = FullDownloadFileSystem, .seen = {DiskErrorBox("[2004]")}},
    {.name = "ReadOnlyInstallRoot", .fault = "disk: read-only install root",
     .outcome = "read-only cleared, phase installed",
     .inject = ReadOnlyInstallRoot, .seen = {Completed, PhaseInstalled(false)}},
    {.name = "TemplateFolderBlocked", .fault = "disk: template folder cannot be created",
     .outcome = "its CreateFolder box, earlier entries stay, window closed",
     .inject = WriteInstead("New_BIN\\Template\\港湾", "a file where the folder belongs"),
     .seen = {InstallationStopped("コンポーネントの展開[Template\\港湾\\KEN CreateFolder]に失敗しました。終了します。"),
              EntriesBeforeInstalled(kLastTemplatePosition), NoPlugins}},
    // The expansion precedes every installation step.
    {.name = "CorruptSzdd", .fault = "content: corrupt (truncated) SZDD file",
     .outcome = "its position box, nothing installed, window closed",
     .inject = ServeInstead(kPluginPosition, FirstHalf),
     .seen = {InstallationStopped(install::PositionFailure(kPluginPosition)), ExpectPhaseUntouched}},
    // A damaged archive is refused as a whole: none of its good members is extracted either.
    {.name = "TruncatedArchive", .fault = "content: truncated LHA archive",
     .outcome = "its position box, none of its members, later entries not run, window closed",
     .inject = ServeInstead(kCorins5Position, TruncatedArchive),
     .seen = {InstallationStopped(install::PositionFailure(kCorins5Position)),
              EntriesBeforeInstalled(kCorins5Position),
              Absent({Installed("New_BIN\\corins6.0"), Installed("New_BIN\\corins5.0\\CORINS.DTD"),
                      Installed("New_BIN\\corins5.0\\CORINS.DAT")})}},
    {.name = "HostileArchive", .fault = "content: hostile LHA archive (.. and C:\\ members)",
     .outcome = "its position box, nothing outside, not its good member, window closed",
     .inject = ServeInstead(kCorins6Position, HostileArchive),
     .seen = {InstallationStopped(install::PositionFailure(kCorins6Position)),
              EntriesBeforeInstalled(kCorins6Position),
              Absent({"C:\\VELMORA\\escaped.txt", "C:\\escaped-absolute.txt", Installed("escaped.txt"),
                      Installed("New_BIN\\corins6.0\\CORINS.DAT")})}},
    {.name = "HostileHelpBundle", .fault = "content: hostile help bundle (.. and C:\\ paths)",
     .outcome = "hostile records skipped, update completes",
     .inject = ServeInstead(kHelpPosition, HostileHelpBundle),
     .seen = {Completed, [](FaultMatrix& m) {
                EXPECT_EQ(ReadHostFile(m.scenario->Product("New_BIN\\ヘルプ\\index.htm")), "<p>help</p>\r\n"); },
              Absent({"C:\\VELMORA\\escaped.htm", Installed("escaped.htm"), "C:\\escaped-absolute.htm"})}},
    {.name = "MainProgramWithoutVersion", .fault = "content: main program without version information",
     .outcome = "no question, both phases installed",
     .inject = [](FaultMatrix& m) {
                 // No staging folder to seed the standards from: every one starts checked, is installed and recorded.
                 m.chosen = AllStandards();
                 WriteHostFile(m.scenario->Product("fotodesk.exe"), tools::MakeProgramFileWithoutVersion()); },
     .attempt = StartWithoutVersionThenClick,
     .seen = {Completed, PhaseInstalled(true), PhaseInstalled(false), [](FaultMatrix&) {
                EXPECT_EQ(platform::GetFileVersionText(Installed("OLD_BIN\\fotodesk.exe")), "v1.2.9.0"); }},
     .twoFolders = false},
  };
}
// clang-format on

}  // namespace sorana::e2e
