// What a completed phase leaves below the install root, rebuilt from the
// update catalogue and the site's deterministic contents, and the checks that
// compare it with the files actually there.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "e2e/update_scenario.h"

namespace sorana::e2e {

struct InstalledFile {
  std::string path;   // below the install root: "New_BIN\plugin\KOKDO202003.SPI"
  std::string bytes;  // the content it must have
};

// Every file a phase installs for the chosen standards, with its content: the
// programs, the main program one folder up (new phase), the settings file, the
// template sets as LIST.TXT / TEMPLATE.TXT, the archives' members, the merged
// help, and the chosen plug-ins. With `before`, only the entries at positions
// below it (the installation runs through the list in position order).
std::vector<InstalledFile> ExpectedPhaseFiles(bool oldPhase, const catalogue::StandardChoice& chosen,
                                              size_t before = SIZE_MAX);

// Installed names of the plug-ins of the chosen standards in a phase.
std::set<std::string> PluginNames(bool oldPhase, const catalogue::StandardChoice& chosen);
// The .BAK names the plug-in backup makes of those plug-ins.
std::set<std::string> BackupNames(const std::set<std::string>& plugins);

// Name of the main program as a phase installs it (position 0 expanded).
std::string MainProgramName(bool oldPhase);

// Adds a failure for every expected file that is missing or differs; returns
// how many files were compared.
size_t ExpectFilesInstalled(const UpdateScenario& scenario, const std::vector<InstalledFile>& files);
// Adds a failure for every file of the phase that is present.
void ExpectNothingOfPhaseInstalled(const UpdateScenario& scenario, bool oldPhase,
                                   const catalogue::StandardChoice& chosen);

// Names of the regular files of the phase's plug-in folder.
std::set<std::string> PluginFolder(const UpdateScenario& scenario, bool oldPhase);

}  // namespace sorana::e2e
