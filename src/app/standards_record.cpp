#include "app/standards_record.h"

#include <optional>

#include "catalogue/standards.h"
#include "form/app_error.h"
#include "formats/profile_text.h"
#include "platform/file_system.h"
#include "platform/profile.h"

namespace sorana::app {

namespace {

// The staging copy, seeded from the install root's record, else from OLD_BIN's,
// when it is missing. Nullopt when it still does not exist: before the first
// update there is no NEW_BIN to seed, and every standard starts checked.
std::optional<std::string> SeededStagingRecord(const std::string& installRoot) {
  std::string staging = installRoot + "NEW_BIN\\" + kRecordFileName;
  if (!platform::FileExists(staging)) {
    for (const std::string& seed :
         {installRoot + kRecordFileName, installRoot + "OLD_BIN\\" + kRecordFileName}) {
      if (!platform::FileExists(seed)) continue;
      platform::CopyFileTo(seed, staging, false);  // fails when NEW_BIN does not exist yet
      break;
    }
  }
  if (!platform::FileExists(staging)) return std::nullopt;
  return staging;
}

}  // namespace

void LoadStandards(form::FormState& state, form::UpdateWindow& window) {
  std::optional<std::string> record = SeededStagingRecord(state.InstallRoot);
  for (int i = 0; i < catalogue::kStandardCount; ++i) {
    bool checked = true;
    if (record) {
      checked = platform::ReadProfileInt(*record, kRecordSection,
                                         catalogue::kStandardCaptions[static_cast<size_t>(i)], 0) != 0;
    }
    window.SetChecked(i, checked);
  }
  state.ListLoaded = true;
}

void RecordStandards(const form::UpdateWindow& window, std::string_view recordFile) {
  std::string contents;
  if (platform::FileExists(recordFile)) {
    platform::Result<std::string> existing = platform::ReadWholeFile(recordFile);
    if (!existing) throw form::AppError(std::string(recordFile) + " に書き込めません", existing.error());
    contents = std::move(*existing);
  }
  for (int i = 0; i < catalogue::kStandardCount; ++i) {
    contents = formats::ProfileWithEntry(contents, kRecordSection,
                                         catalogue::kStandardCaptions[static_cast<size_t>(i)],
                                         window.IsChecked(i) ? "1" : "0");
  }
  if (platform::Status written = platform::WriteFileAtomic(recordFile, contents); !written) {
    throw form::AppError(std::string(recordFile) + " に書き込めません", written.error());
  }
}

}  // namespace sorana::app
