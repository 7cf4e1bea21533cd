// The record of a run that is changing the installation: written, durably,
// before the run converts the layout or installs a phase, advanced as the
// installation passes the steps that cannot simply be done again, and removed
// when the run is over. A run stopped dead (a crash, a power cut, a killed
// process) leaves it behind, and the next run reads from it where to go on.
//
// It lives in the install root, beside what it describes, as a small profile
// file of our own, so that it moves with the installation, survives a cleaned
// temporary folder, and needs no registry rights.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "install/install_journal.h"
#include "platform/result.h"

namespace sorana::update {

inline constexpr const char* kRecordFileName = "SorUpdate.ini";

enum class RunStep {
  Converting,  // the layout conversion has begun
  Converted,   // its moves into OLD_BIN are done; the rest of it repeats safely
  Installing,  // a phase's installation, at `install` of it
  Finished,    // everything is installed and clean; only the close remains
};

// One downloaded file of the phase being installed, as it arrived whole.
struct ArrivedFile {
  std::string name;
  uint64_t size = 0;
};

struct UpdateRecord {
  RunStep step = RunStep::Converting;
  bool oldPhase = false;                                            // Installing: which phase
  install::InstallStep install = install::InstallStep::Installing;  // Installing: how far
  catalogue::StandardChoice standards{};                            // the choice the run installs
  std::vector<ArrivedFile> files;                                   // Installing: the phase's downloads
};

// The record below `installRoot` (ends in a backslash); nullopt when there is
// none. A record this program cannot read counts as none.
std::optional<UpdateRecord> ReadUpdateRecord(std::string_view installRoot);
// Replaces the record atomically and durably.
platform::Status WriteUpdateRecord(std::string_view installRoot, const UpdateRecord& record);
// Removes the record; succeeds when none is left.
platform::Status RemoveUpdateRecord(std::string_view installRoot);

}  // namespace sorana::update
