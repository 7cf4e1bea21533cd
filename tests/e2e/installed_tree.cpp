#include "e2e/installed_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>

#include "formats/ascii_case.h"
#include "formats/win_path_text.h"
#include "install/expanded_name.h"
#include "platform/windows_system.h"
#include "tools/site_components.h"

namespace sorana::e2e {

namespace {

using tools::ComponentKind;
using tools::Scale;

std::string PhaseFolder(bool oldPhase) { return oldPhase ? "OLD_BIN\\" : "New_BIN\\"; }

std::string PluginName(const std::string& name) {
  std::string ext = formats::AsciiUpper(formats::ExtractFileExt(name));
  return formats::ChangeFileExt(name, ext == ".XL_" ? ".XLS" : ext == ".DO_" ? ".DOC" : ".SPI");
}

std::vector<std::string> PhaseList(bool oldPhase, const catalogue::StandardChoice& chosen) {
  return catalogue::BuildFileList(oldPhase, chosen);
}

}  // namespace

std::string MainProgramName(bool oldPhase) {
  for (const catalogue::ProgramRow& row : catalogue::ProgramRows(oldPhase)) {
    if (row.role == catalogue::Role::MainProgram) return install::ExpandedName(row.name);
  }
  ADD_FAILURE() << "no main program among the program rows";
  return {};
}

std::vector<InstalledFile> ExpectedPhaseFiles(bool oldPhase, const catalogue::StandardChoice& chosen,
                                              size_t before) {
  const std::string folder = PhaseFolder(oldPhase);
  const std::vector<std::string> list = PhaseList(oldPhase, chosen);
  const std::span<const catalogue::ProgramRow> rows = catalogue::ProgramRows(oldPhase);
  const size_t programs = rows.size();
  std::vector<InstalledFile> files;
  for (size_t i = 0; i < std::min(before, list.size()); ++i) {
    const std::string& name = list[i];
    if (i >= programs) {
      files.push_back({folder + "plugin\\" + PluginName(name),
                       tools::ComponentPayload(oldPhase, name, false, Scale::Small)});
      continue;
    }
    std::string payload = tools::ComponentPayload(oldPhase, name, true, Scale::Small);
    switch (tools::KindOf(name, true)) {
      case ComponentKind::Program:
        if (rows[i].role == catalogue::Role::ProgramAbove) {
          files.push_back({"FOTODESK.EXE", payload});
          break;
        }
        [[fallthrough]];
      case ComponentKind::Library:
      case ComponentKind::Settings:
        files.push_back({folder + install::ExpandedName(name), payload});
        break;
      case ComponentKind::TemplateText: {
        std::string target = formats::ChangeFileExt(install::ExpandedName(name), ".TXT");
        files.push_back({folder + std::string(rows[i].folder) + "\\" + target, payload});
        break;
      }
      case ComponentKind::CorinsArchive:
      case ComponentKind::HelpArchive:
        for (const tools::ArchiveMember& member : tools::ArchiveMembers(oldPhase, name, Scale::Small)) {
          if (!member.folder) files.push_back({folder + member.path, member.bytes});
        }
        break;
      case ComponentKind::HelpBundle:
        for (const tools::HelpFile& file : tools::HelpBundleFiles(Scale::Small)) {
          files.push_back({folder + "ヘルプ\\" + file.path, file.bytes});
        }
        break;
      case ComponentKind::Plugin:
        ADD_FAILURE() << "a plug-in among the program rows: " << name;
        break;
    }
  }
  return files;
}

std::set<std::string> PluginNames(bool oldPhase, const catalogue::StandardChoice& chosen) {
  const std::vector<std::string> list = PhaseList(oldPhase, chosen);
  std::set<std::string> names;
  for (size_t i = static_cast<size_t>(catalogue::ProgramCount(oldPhase)); i < list.size(); ++i) {
    names.insert(PluginName(list[i]));
  }
  return names;
}

std::set<std::string> BackupNames(const std::set<std::string>& plugins) {
  std::set<std::string> names;
  for (const std::string& plugin : plugins) names.insert(formats::ChangeFileExt(plugin, ".BAK"));
  return names;
}

size_t ExpectFilesInstalled(const UpdateScenario& scenario, const std::vector<InstalledFile>& files) {
  size_t compared = 0;
  for (const InstalledFile& file : files) {
    std::optional<std::string> bytes = ReadHostFile(scenario.Product(file.path));
    if (!bytes) {
      ADD_FAILURE() << "not installed: " << file.path;
    } else if (*bytes != file.bytes) {
      ADD_FAILURE() << "wrong content: " << file.path << " (" << bytes->size() << " bytes, expected "
                    << file.bytes.size() << ")";
    }
    ++compared;
  }
  return compared;
}

void ExpectNothingOfPhaseInstalled(const UpdateScenario& scenario, bool oldPhase,
                                   const catalogue::StandardChoice& chosen) {
  for (const InstalledFile& file : ExpectedPhaseFiles(oldPhase, chosen)) {
    std::optional<std::string> bytes = ReadHostFile(scenario.Product(file.path));
    if (bytes && *bytes == file.bytes) ADD_FAILURE() << "installed although the phase failed: " << file.path;
  }
}

std::set<std::string> PluginFolder(const UpdateScenario& scenario, bool oldPhase) {
  std::vector<std::string> names = FileNames(scenario.Product(PhaseFolder(oldPhase) + "plugin"));
  return {names.begin(), names.end()};
}

}  // namespace sorana::e2e
