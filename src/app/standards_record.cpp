#include "app/standards_record.h"

#include <optional>

#include "app/app_error.h"
#include "app/standards.h"
#include "platform/file_system.h"
#include "platform/profile.h"

namespace sorana::app {

namespace {

// The record the check states come from: the staging copy once it exists (it
// is seeded when missing), else the record it would have been seeded from,
// which keeps the user's choice in an installation without NEW_BIN yet.
std::optional<std::string> RecordToLoad(const std::string& installRoot) {
  std::string staging = installRoot + "NEW_BIN\\" + kRecordFileName;
  if (platform::FileExists(staging)) return staging;
  std::optional<std::string> seed;
  for (const std::string& candidate :
       {installRoot + kRecordFileName, installRoot + "OLD_BIN\\" + kRecordFileName}) {
    if (platform::FileExists(candidate)) {
      seed = candidate;
      break;
    }
  }
  if (!seed) return std::nullopt;
  platform::CopyFile(*seed, staging, false);  // fails when NEW_BIN does not exist yet
  return platform::FileExists(staging) ? staging : *seed;
}

}  // namespace

void LoadStandards(FormState& state, UpdateWindow& window) {
  std::optional<std::string> record = RecordToLoad(state.InstallRoot);
  for (int i = 0; i < kStandardCount; ++i) {
    bool checked = true;
    if (record) {
      checked = platform::ReadProfileInt(*record, kRecordSection, kStandardCaptions[static_cast<size_t>(i)],
                                         0) != 0;
    }
    window.SetChecked(i, checked);
  }
  state.ListLoaded = true;
}

void RecordStandards(const UpdateWindow& window, std::string_view recordFile) {
  std::string contents;
  if (platform::FileExists(recordFile)) {
    std::optional<std::string> existing = platform::ReadWholeFile(recordFile);
    if (!existing) throw AppError(std::string(recordFile) + " に書き込めません");
    contents = std::move(*existing);
  }
  for (int i = 0; i < kStandardCount; ++i) {
    contents = platform::ProfileWithEntry(contents, kRecordSection, kStandardCaptions[static_cast<size_t>(i)],
                                          window.IsChecked(i) ? "1" : "0");
  }
  if (!platform::WriteFileAtomic(recordFile, contents)) {
    throw AppError(std::string(recordFile) + " に書き込めません");
  }
}

}  // namespace sorana::app
