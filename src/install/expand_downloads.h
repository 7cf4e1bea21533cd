// The expansion loop of a phase: every downloaded file of the file list is
// expanded next to itself under its installed name, with the progress shown.
#pragma once

#include "form/form_state.h"
#include "form/update_window.h"

namespace sorana::install {

// Expands each FileList entry of DownloadFolder in order, setting ProgressLabel
// ("<percent> / 100") and the bar before each. A download that cannot be read
// or decoded raises through form::CreateError with the entry's position failure
// message, the platform's last error holding its errno (0 for bad data).
void ExpandDownloads(const form::FormState& state, form::UpdateWindow& window);

}  // namespace sorana::install
