#include "install/install_steps.h"

#include <span>
#include <utility>

#include "archive/lhactrls.h"
#include "catalogue/catalogue.h"
#include "form/app_error.h"
#include "formats/ascii_case.h"
#include "formats/win_path_text.h"
#include "install/failure_messages.h"
#include "install/merge_help.h"
#include "platform/file_system.h"
#include "platform/file_tree.h"
#include "platform/profile.h"
#include "platform/windows_system.h"

namespace sorana::install {

namespace {

constexpr std::string_view kMainProgramAbove = "..\\FOTODESK.EXE";

std::string Failure(std::string_view what) {
  return "コンポーネントの展開" + std::string(what) + "に失敗しました。終了します。";
}

platform::Status ClearReadOnly(const std::string& path) {
  platform::Result<uint32_t> attributes = platform::GetAttributes(path);
  if (attributes && (*attributes & platform::kAttrReadOnly) != 0) return platform::SetAttributes(path, 0);
  return {};
}

}  // namespace

void InstallSteps::Run() {
  // The program rows in their order, each by its role; then the plug-ins and
  // the refresh of the main program.
  const std::span<const catalogue::ProgramRow> rows = catalogue::ProgramRows(state_.OldPhase);
  for (size_t position = 0; position < rows.size(); ++position) {
    const catalogue::ProgramRow& row = rows[position];
    switch (row.role) {
      case catalogue::Role::MainProgram:
      case catalogue::Role::Program:
        ProgramCopy(position, ".EXE");
        break;
      case catalogue::Role::ProgramAbove:
        MainExecutableCopy(position);
        break;
      case catalogue::Role::Library:
        ProgramCopy(position, ".DLL");
        break;
      case catalogue::Role::Settings:
        SettingsFile(position);
        break;
      case catalogue::Role::Template:
        TemplateFile(position, row);
        break;
      case catalogue::Role::CorinsArchive:
        ArchiveStep(position, row.folder);
        break;
      case catalogue::Role::Help:
        HelpStep(position, row.folder);
        break;
    }
  }
  PlugIns(rows.size());
  RefreshMainProgram();
}

const std::string& InstallSteps::Entry(size_t position) const {
  // A list without the fixed rows this sequence needs cannot be installed.
  if (position >= state_.FileList.size()) form::CreateError(PositionFailure(position));
  return state_.FileList[position];
}

std::string InstallSteps::Expanded(size_t position, std::string_view extension) const {
  return formats::ChangeFileExt(Entry(position), extension);
}

void InstallSteps::Copy(const std::string& from, const std::string& to, size_t position) const {
  if (platform::Status copied = platform::CopyFileTo(from, to, false); !copied) {
    form::CreateError(PositionFailure(position), copied.error());
  }
}

void InstallSteps::ProgramCopy(size_t position, std::string_view extension) const {
  const std::string name = Expanded(position, extension);
  Copy(state_.DownloadFolder + name, state_.WorkFolder + name, position);
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

void InstallSteps::TemplateFile(size_t position, const catalogue::ProgramRow& row) const {
  const std::string folder = state_.WorkFolder + std::string(row.folder);
  if (platform::Status made = platform::ForceDirectories(folder); !made) {
    form::CreateError(Failure("[" + std::string(row.folder) + " CreateFolder]"), made.error());
  }
  const std::string expanded = Expanded(position, row.extension);
  const std::string target = folder + "\\" + formats::ChangeFileExt(expanded, ".TXT");
  ClearReadOnly(target);
  Copy(state_.DownloadFolder + expanded, target, position);
}

void InstallSteps::PrepareArchiveFolder(std::string_view name) const {
  const std::string folder = state_.WorkFolder + std::string(name);
  if (platform::DirectoryExists(folder)) ClearReadOnly(folder);
  if (platform::Status made = platform::ForceDirectories(folder); !made) {
    form::CreateError(Failure("[" + std::string(name) + "CreateFolder]"), made.error());
  }
}

void InstallSteps::ExtractArchive(size_t position) const {
  const int result = archive::ExtractLha(state_.DownloadFolder + Entry(position),
                                         formats::ExcludeTrailingBackslash(state_.WorkFolder));
  // A missing library or a damaged archive must not pass for an installed one.
  if (result != 0) form::CreateError(PositionFailure(position));
}

void InstallSteps::ArchiveStep(size_t position, std::string_view folder) const {
  Entry(position);
  PrepareArchiveFolder(folder);
  ExtractArchive(position);
}

void InstallSteps::HelpStep(size_t position, std::string_view folder) const {
  const std::string& entry = Entry(position);
  PrepareArchiveFolder(folder);
  if (formats::AsciiUpper(entry).starts_with("MERGEHELP.")) {
    MergeHelp(state_.DownloadFolder + Expanded(position, ".INI"), state_.WorkFolder + std::string(folder),
              window_);
  } else {
    ExtractArchive(position);
  }
}

// The backup destroys what it reads (the old *.BAK, the user's plug-ins under
// their names), so each pass runs once per phase, whatever stops the run: a
// pass that failed leaves the next one undone, a pass that ended is recorded.
void InstallSteps::BackUpPlugIns(const std::string& folder) const {
  const std::optional<InstallStep> reached = journal_.Reached();
  const auto before = [&](InstallStep step) { return !reached || *reached < step; };
  if (before(InstallStep::OldBackupsRemoved)) {
    if (platform::Status removed = platform::RemoveBackups(folder); !removed) {
      form::CreateError(Failure("[RenameSPI]"), removed.error());
    }
    journal_.Record(InstallStep::OldBackupsRemoved);
  }
  if (before(InstallStep::BackedUp)) {
    if (platform::Status renamed = platform::RenameDocumentsToBackups(folder); !renamed) {
      form::CreateError(Failure("[RenameSPI]"), renamed.error());
    }
    journal_.Record(InstallStep::BackedUp);
  } else {
    // The user's plug-ins are backups by now: any plug-in here was copied by
    // the stopped attempt, perhaps of a standard no longer chosen.
    platform::RemoveDocuments(folder);
  }
}

void InstallSteps::PlugIns(size_t firstPosition) const {
  const std::string folder = state_.WorkFolder + "plugin\\";
  BackUpPlugIns(folder);
  for (size_t position = firstPosition; position < state_.FileList.size(); ++position) {
    const std::string extension = formats::AsciiUpper(formats::ExtractFileExt(Entry(position)));
    const std::string_view installed = extension == ".XL_" ? ".XLS" : extension == ".DO_" ? ".DOC" : ".SPI";
    const std::string name = Expanded(position, installed);
    Copy(state_.DownloadFolder + name, folder + name, position);
  }
}

void InstallSteps::RefreshMainProgram() const {
  const std::string program = Expanded(0, ".EXE");
  const std::string installed = state_.WorkFolder + program;
  const std::string backup = state_.DownloadFolder + formats::ChangeFileExt(program, ".OLD");
  ClearReadOnly(backup);
  if (platform::Status copied = platform::CopyFileTo(installed, backup, false); !copied) {
    form::CreateError("コンポーネントの展開に失敗しました(3)終了します。", copied.error());
  }
  const platform::Status cleared = ClearReadOnly(installed);
  platform::Result<uint32_t> attributes = platform::GetAttributes(installed);
  if (attributes && (*attributes & platform::kAttrReadOnly) != 0) {
    form::CreateError("コンポーネントの展開に失敗しました(1)終了します。", cleared.error());
  }
  // The new program replaces the installed one in one step: there is a main
  // program in place at every moment.
  if (platform::Status copied = platform::CopyFileTo(state_.DownloadFolder + program, installed, false);
      !copied) {
    form::CreateError("コンポーネントの展開に失敗しました(2)終了します。", copied.error());
  }
}

}  // namespace sorana::install
