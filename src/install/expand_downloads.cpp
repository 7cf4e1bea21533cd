#include "install/expand_downloads.h"

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>

#include "form/app_error.h"
#include "install/expanded_name.h"
#include "install/failure_messages.h"
#include "install/szdd_expand.h"
#include "platform/file_system.h"
#include "platform/windows_system.h"

namespace sorana::install {

namespace {

void ExpandEntry(const std::string& folder, const std::string& name, size_t position) {
  std::optional<std::filesystem::path> source = platform::ToHost(folder + name);
  std::optional<std::filesystem::path> target = platform::ToHost(folder + ExpandedName(name));
  if (!source || !target) form::CreateError(PositionFailure(position), platform::ErrnoError(ENOENT));
  platform::Result<ExpandOutcome> result = ExpandFile(*source, *target);
  if (!result) form::CreateError(PositionFailure(position), result.error());
}

}  // namespace

void ExpandDownloads(const form::FormState& state, form::UpdateWindow& window) {
  const size_t count = state.FileList.size();
  for (size_t i = 0; i < count; ++i) {
    // Whole percent of the entries done, truncated; exact in integers.
    window.SetCaption(form::Control::ProgressLabel, std::to_string((i + 1) * 100 / count) + " / 100");
    window.Repaint(form::Control::ProgressLabel);
    window.SetProgress(static_cast<int>(100 / (count + 1) * i + 1));
    ExpandEntry(state.DownloadFolder, state.FileList[i], i);
  }
}

}  // namespace sorana::install
