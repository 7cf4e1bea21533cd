#include "install/install_steps.h"

#include <array>
#include <utility>

#include "app/app_error.h"
#include "archive/lhactrls.h"
#include "download/catalogue.h"
#include "install/failure_messages.h"
#include "install/merge_help.h"
#include "platform/file_system.h"
#include "platform/file_tree.h"
#include "platform/profile.h"
#include "platform/win_path.h"

namespace sorana::install {

namespace {

struct TemplateSet {
  std::string_view folder;     // below the work folder
  std::string_view extension;  // of the set's expanded copies
};

// In the order they are installed; the old-version phase brings the first five.
constexpr std::array<TemplateSet, 11> kTemplateSets = {{
    {"Template\\14年度\\KEN", ".4KE"},
    {"Template\\14年度\\NOU", ".4NO"},
    {"Template\\16年度\\KEN", ".6KE"},
    {"Template\\16年度\\NOU", ".6NO"},
    {"Template\\日本道路公団\\KEN", ".JH"},
    {"Template\\日本高速道路\\KEN", ".NK"},
    {"Template\\建築\\KEN", ".EZ"},
    {"Template\\20年度\\KEN", ".0KE"},
    {"Template\\21年度\\NOU", ".1NO"},
    {"Template\\空港\\KEN", ".KUK"},
    {"Template\\港湾\\KEN", ".KOU"},
}};
constexpr size_t kOldTemplateSets = 5;

constexpr std::string_view kHelpFolder = "ヘルプ";
constexpr std::string_view kMainProgramAbove = "..\\FOTODESK.EXE";

std::string Failure(std::string_view what) {
  return "コンポーネントの展開" + std::string(what) + "に失敗しました。終了します。";
}

void ClearReadOnly(const std::string& path) {
  std::optional<uint32_t> attributes = platform::GetFileAttributes(path);
  if (attributes && (*attributes & platform::kAttrReadOnly) != 0) platform::SetFileAttributes(path, 0);
}

}  // namespace

void InstallSteps::Run() {
  if (state_.OldPhase) {
    RunOldPhase();
  } else {
    RunNewPhase();
  }
}

void InstallSteps::RunOldPhase() {
  ProgramCopy(0, 5, ".EXE");
  ProgramCopy(6, 7, ".DLL");
  SettingsFile(8);
  TemplateSets(kOldTemplateSets, 9);
  ArchiveStep(19, "corins0.0");
  ArchiveStep(20, "corins5.0");
  ArchiveStep(21, "corins6.0");
  ArchiveStep(22, kHelpFolder);
  PlugIns(download::ProgramCount(true));
  RefreshMainProgram();
}

void InstallSteps::RunNewPhase() {
  ProgramCopy(0, 7, ".EXE");
  MainExecutableCopy(8);
  ProgramCopy(9, 10, ".DLL");
  SettingsFile(11);
  TemplateSets(kTemplateSets.size(), 12);
  ArchiveStep(34, "corins0.0");
  ArchiveStep(35, "corins5.0");
  ArchiveStep(36, "corins6.0");
  HelpStep(37);
  ProgramCopy(38, 39, ".EXE");
  ProgramCopy(40, 41, ".DLL");
  PlugIns(download::ProgramCount(false));
  RefreshMainProgram();
}

const std::string& InstallSteps::Entry(size_t position) const {
  // A list without the fixed rows this sequence needs cannot be installed.
  if (position >= state_.FileList.size()) {
    platform::SetLastError(0);
    app::CreateError(PositionFailure(position));
  }
  return state_.FileList[position];
}

std::string InstallSteps::Expanded(size_t position, std::string_view extension) const {
  return platform::ChangeFileExt(Entry(position), extension);
}

void InstallSteps::Copy(const std::string& from, const std::string& to, size_t position) const {
  if (!platform::CopyFile(from, to, false)) app::CreateError(PositionFailure(position));
}

void InstallSteps::ProgramCopy(size_t first, size_t last, std::string_view extension) const {
  for (size_t position = first; position <= last; ++position) {
    const std::string name = Expanded(position, extension);
    Copy(state_.DownloadFolder + name, state_.WorkFolder + name, position);
  }
}

void InstallSteps::MainExecutableCopy(size_t position) const {
  Copy(state_.DownloadFolder + Expanded(position, ".EXE"), state_.WorkFolder + std::string(kMainProgramAbove),
       position);
}

void InstallSteps::SettingsFile(size_t position) const {
  const std::string name = Expanded(position, ".INI");
  const std::string installed = state_.WorkFolder + name;
  // An installed file that already holds its label settings is the user's: keep it.
  if (platform::FileExists(installed) &&
      platform::ReadProfileInt(installed, "MediaLabelPrintSet", "SettingNameCount", -1) != -1) {
    return;
  }
  Copy(state_.DownloadFolder + name, installed, position);
}

void InstallSteps::TemplateSets(size_t count, size_t firstPosition) const {
  for (size_t set = 0; set < count; ++set) {
    const TemplateSet& templates = kTemplateSets[set];
    const std::string folder = state_.WorkFolder + std::string(templates.folder);
    if (!platform::ForceDirectories(folder)) {
      app::CreateError(Failure("[" + std::string(templates.folder) + " CreateFolder]"));
    }
    for (size_t position = firstPosition + 2 * set; position < firstPosition + 2 * set + 2; ++position) {
      const std::string expanded = Expanded(position, templates.extension);
      const std::string target = folder + "\\" + platform::ChangeFileExt(expanded, ".TXT");
      ClearReadOnly(target);
      Copy(state_.DownloadFolder + expanded, target, position);
    }
  }
}

void InstallSteps::PrepareArchiveFolder(std::string_view name) const {
  const std::string folder = state_.WorkFolder + std::string(name);
  if (platform::DirectoryExists(folder)) ClearReadOnly(folder);
  if (!platform::ForceDirectories(folder)) {
    app::CreateError(Failure("[" + std::string(name) + "CreateFolder]"));
  }
}

void InstallSteps::ExtractArchive(size_t position) const {
  const int result = archive::ExtractLha(state_.DownloadFolder + Entry(position),
                                         platform::ExcludeTrailingBackslash(state_.WorkFolder));
  // A missing library or a damaged archive must not pass for an installed one.
  if (result != 0) {
    platform::SetLastError(0);
    app::CreateError(PositionFailure(position));
  }
}

void InstallSteps::ArchiveStep(size_t position, std::string_view folder) const {
  Entry(position);
  PrepareArchiveFolder(folder);
  ExtractArchive(position);
}

void InstallSteps::HelpStep(size_t position) const {
  const std::string& entry = Entry(position);
  PrepareArchiveFolder(kHelpFolder);
  if (platform::AsciiUpper(entry).starts_with("MERGEHELP.")) {
    MergeHelp(state_.DownloadFolder + Expanded(position, ".INI"),
              state_.WorkFolder + std::string(kHelpFolder), window_);
  } else {
    ExtractArchive(position);
  }
}

void InstallSteps::PlugIns(size_t firstPosition) const {
  const std::string folder = state_.WorkFolder + "plugin\\";
  if (!platform::BackupDocuments(folder)) app::CreateError(Failure("[RenameSPI]"));
  for (size_t position = firstPosition; position < state_.FileList.size(); ++position) {
    const std::string extension = platform::AsciiUpper(platform::ExtractFileExt(Entry(position)));
    const std::string_view installed = extension == ".XL_" ? ".XLS" : extension == ".DO_" ? ".DOC" : ".SPI";
    const std::string name = Expanded(position, installed);
    Copy(state_.DownloadFolder + name, folder + name, position);
  }
}

void InstallSteps::RefreshMainProgram() const {
  const std::string program = Expanded(0, ".EXE");
  const std::string installed = state_.WorkFolder + program;
  const std::string backup = state_.DownloadFolder + platform::ChangeFileExt(program, ".OLD");
  ClearReadOnly(backup);
  if (!platform::CopyFile(installed, backup, false))
    app::CreateError("コンポーネントの展開に失敗しました(3)終了します。");
  ClearReadOnly(installed);
  if (!platform::DeleteFile(installed)) app::CreateError("コンポーネントの展開に失敗しました(1)終了します。");
  if (!platform::CopyFile(state_.DownloadFolder + program, installed, false)) {
    app::CreateError("コンポーネントの展開に失敗しました(2)終了します。");
  }
}

}  // namespace sorana::install
