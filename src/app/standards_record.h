// The standards record: Install.ini, section PULUGINLIST, one entry per
// standard (caption=1 checked, caption=0 unchecked).
//
// It is read at start-up from the staging copy InstallRoot\NEW_BIN\Install.ini,
// written at close to WorkFolder\Install.ini and copied from there to
// InstallRoot\Install.ini.
#pragma once

#include <string>
#include <string_view>

#include "form/form_state.h"
#include "form/update_window.h"

namespace sorana::app {

inline constexpr const char* kRecordFileName = "Install.ini";
inline constexpr const char* kRecordSection = "PULUGINLIST";

// Seeds the staging copy from the install root's record, else from OLD_BIN's,
// and sets the check states from it: unchecked for a standard without an entry,
// all checked when there is no staging copy even after seeding. Sets
// state.ListLoaded.
void LoadStandards(form::FormState& state, form::UpdateWindow& window);

// Writes every standard's state into `recordFile` as one atomic replacement,
// keeping the file's other sections and entries. Raises AppError
// "<recordFile> に書き込めません" when it cannot be written.
void RecordStandards(const form::UpdateWindow& window, std::string_view recordFile);

}  // namespace sorana::app
