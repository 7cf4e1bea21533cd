#include "update/phase_journal.h"

#include <utility>

#include "form/app_error.h"
#include "platform/durability.h"
#include "platform/file_system.h"

namespace sorana::update {

namespace {

// Raises the record's failure when `step` failed.
void RaiseUnless(const platform::Status& step, const std::string& installRoot) {
  if (!step)
    form::CreateError("更新記録 \"" + installRoot + kRecordFileName + "\" を書き込めません。", step.error());
}

}  // namespace

void RecordDurably(const std::string& installRoot, const UpdateRecord& record, bool flushFirst) {
  // What the record says is done must survive a power cut before the record says so.
  if (flushFirst) RaiseUnless(platform::FlushToDisk(installRoot), installRoot);
  RaiseUnless(WriteUpdateRecord(installRoot, record), installRoot);
}

void RemoveRecordDurably(const std::string& installRoot) {
  RaiseUnless(platform::FlushToDisk(installRoot), installRoot);
  RaiseUnless(RemoveUpdateRecord(installRoot), installRoot);
}

void FinishRecordedRun(const std::string& installRoot) {
  std::optional<UpdateRecord> record = ReadUpdateRecord(installRoot);
  if (record && record->step == RunStep::Finished) RemoveUpdateRecord(installRoot);
}

PhaseJournal::PhaseJournal(std::string installRoot, std::optional<UpdateRecord> resumed, UpdateRecord fresh)
    : installRoot_(std::move(installRoot)), resumed_(std::move(resumed)), current_(std::move(fresh)) {
  current_.step = RunStep::Installing;
}

std::optional<install::InstallStep> PhaseJournal::Reached() const {
  if (!resumed_ || resumed_->step != RunStep::Installing) return std::nullopt;
  return resumed_->install;
}

void PhaseJournal::Record(install::InstallStep step) {
  current_.install = step;
  // Nothing of the phase is installed before its first record.
  RecordDurably(installRoot_, current_, step != install::InstallStep::Installing);
}

void PhaseJournal::PhaseOver() {
  if (current_.oldPhase) {
    RemoveUpdateRecord(installRoot_);
    return;
  }
  UpdateRecord finished = current_;
  finished.step = RunStep::Finished;
  finished.files.clear();
  RecordDurably(installRoot_, finished, false);
}

}  // namespace sorana::update
