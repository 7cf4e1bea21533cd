#include "phase_fixture.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "archive/lhactrls.h"
#include "archive/lhactrls_testing.h"
#include "formats/cp932.h"
#include "install/install_steps.h"
#include "install/szdd_compress.h"
#include "install/unpress.h"
#include "unlha32/lha_writer.h"

namespace sorana::install {

namespace fs = std::filesystem;

namespace {

const std::string kStart = "\x81\xA1#HELP_FILE_START#\x81\xA1\r\n";
const std::string kEnd = "\x81\xA1#HELP_FILE_END#\x81\xA1\r\n";

std::string Cp932(const std::string& utf8) { return formats::Utf8ToCp932(utf8).value(); }

void RemoveTree(const fs::path& root) {
  std::error_code ec;
  if (!fs::exists(root, ec)) return;
  // Read-only folders left by a test would stop the removal.
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(root);
}

}  // namespace

// The archives hold their members below the folder the installation makes for them.
std::string PhaseFixture::ArchiveFor(const std::string& name) {
  unlha32::LhaWriter writer;
  if (name == "ヘルプ.lzh") {
    writer.AddFile(Cp932("ヘルプ\\index.htm"), PhaseFixture::ContentOf(name));
  } else {
    const std::string folder = "corins" + name.substr(6, 1) + ".0";  // CORINS5.lzh -> corins5.0
    writer.AddFile(folder + "\\CORINS.DAT", PhaseFixture::ContentOf(name));
  }
  return writer.Finish();
}

namespace {

std::string HelpBundle() {
  return kStart + "index.htm\r\n0\r\n<p>merged help</p>\r\n" + kEnd + kStart +
         "img\\logo.gif\r\n0\r\n474946\r\n" + kEnd;
}

}  // namespace

void PhaseFixture::LoadTheLhaLibrary() {
#ifdef _WIN32
  archive::LoadLhaLibrary();
#else
  archive::LoadLhaLibraryFrom(SORANA_UNLHA32_PATH);
#endif
}

bool PhaseFixture::NoLhaLibrary() { return !archive::IsLhaLibraryLoaded(); }

void PhaseFixture::SetUpTestSuite() {
  static bool loaded = false;
  if (!loaded) LoadTheLhaLibrary();
  loaded = true;
}

#ifdef _WIN32
void PhaseFixture::SetUp() {}
void PhaseFixture::TearDown() {}
#else
void PhaseFixture::SetUp() { setenv("WINEPREFIX", prefix_.Root().c_str(), 1); }
void PhaseFixture::TearDown() { unsetenv("WINEPREFIX"); }
#endif

std::string PhaseFixture::ContentOf(const std::string& name) {
  std::string out;
  for (int i = 0; i < 40; ++i) out += "content of " + name + " line " + std::to_string(i % 7) + "\r\n";
  return out;
}

void PhaseFixture::Prepare(bool oldPhase, const std::vector<int>& standards) {
  catalogue::StandardChoice choice{};
  for (int index : standards) choice.at(static_cast<size_t>(index)) = true;
  state_.OldPhase = oldPhase;
  state_.InstallRoot = kRoot;
  state_.WorkFolder = std::string(kRoot) + (oldPhase ? "OLD_BIN\\" : "New_BIN\\");
  state_.DownloadFolder = std::string("C:\\windows\\temp\\") + (oldPhase ? "SorOldUp\\" : "SorNewUp\\");
  state_.FileList = catalogue::BuildFileList(oldPhase, choice);
  RemoveTree(prefix_.HostC(kRoot));
  RemoveTree(prefix_.HostC(state_.DownloadFolder));
  fs::create_directories(Work("plugin"));
  fs::create_directories(prefix_.HostC(state_.DownloadFolder));
  for (size_t i = 0; i < state_.FileList.size(); ++i) {
    const std::string& name = state_.FileList[i];
    if (name.ends_with(".lzh")) {
      PutDownload(i, ArchiveFor(name));
    } else if (name == "MERGEHELP.IN_") {
      PutDownload(i, SzddCompress(HelpBundle(), 'I'));
    } else {
      PutDownload(i, SzddCompress(ContentOf(name)));
    }
  }
}

void PhaseFixture::PutDownload(size_t position, const std::string& bytes) {
  test::TempPrefix::WriteFile(Download(state_.FileList.at(position)), bytes);
}

bool PhaseFixture::Run() {
  NoJournal journal;
  return Installer(state_, window_).Unpress(journal);
}

fs::path PhaseFixture::Work(const std::string& relative) const {
  return prefix_.HostC(state_.WorkFolder + relative);
}

fs::path PhaseFixture::Download(const std::string& name) const {
  return prefix_.HostC(state_.DownloadFolder + name);
}

std::string PhaseFixture::ReadWork(const std::string& relative) const {
  return test::TempPrefix::ReadFile(Work(relative));
}

std::vector<std::string> PhaseFixture::DownloadFolderNames() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(prefix_.HostC(state_.DownloadFolder)))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string PhaseFixture::FailureBox(const std::string& message, int code) {
#ifdef _WIN32
  // Windows' box shows the system's own code: ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED.
  code = code == ENOENT ? 2 : code == EACCES ? 5 : code;
#endif
  return message + "\r\rコンポーネントの展開に失敗しました(4)終了します。\r" + std::to_string(code);
}

}  // namespace sorana::install
