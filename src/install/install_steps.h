// The installation sequence of a phase: the expanded files of the download
// folder go into the phase's work folder, each program row by the role the
// catalogue gives its position in the file list (program copies, the settings
// file, the template sets, the CORINS and help archives or the help bundle),
// then the plug-ins and the main-program refresh.
#pragma once

#include <string>
#include <string_view>

#include "catalogue/catalogue.h"
#include "form/form_state.h"
#include "form/update_window.h"
#include "install/install_journal.h"

namespace sorana::install {

class InstallSteps {
 public:
  InstallSteps(const form::FormState& state, form::UpdateWindow& window, InstallJournal& journal)
      : state_(state), window_(window), journal_(journal) {}

  // The whole sequence of the phase that state.OldPhase names, ending with the
  // main-program refresh. Every failure raises through form::CreateError.
  void Run();

 private:
  const std::string& Entry(size_t position) const;
  // The entry's name with its extension replaced: the expanded copy's name.
  std::string Expanded(size_t position, std::string_view extension) const;
  void Copy(const std::string& from, const std::string& to, size_t position) const;

  void ProgramCopy(size_t position, std::string_view extension) const;
  void MainExecutableCopy(size_t position) const;
  void SettingsFile(size_t position) const;
  void TemplateFile(size_t position, const catalogue::ProgramRow& row) const;
  void PrepareArchiveFolder(std::string_view folder) const;
  void ExtractArchive(size_t position) const;
  void ArchiveStep(size_t position, std::string_view folder) const;
  void HelpStep(size_t position, std::string_view folder) const;
  void BackUpPlugIns(const std::string& folder) const;
  void PlugIns(size_t firstPosition) const;
  void RefreshMainProgram() const;

  const form::FormState& state_;
  form::UpdateWindow& window_;
  InstallJournal& journal_;
};

}  // namespace sorana::install
