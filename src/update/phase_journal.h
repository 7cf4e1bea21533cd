// The record kept while a phase is installed: the installation's side of the
// run's record (update_record.h).
#pragma once

#include <optional>
#include <string>

#include "install/install_journal.h"
#include "update/update_record.h"

namespace sorana::update {

class PhaseJournal final : public install::InstallJournal {
 public:
  // `resumed`: the record of an earlier attempt of this phase, if any;
  // `fresh`: what to record when this attempt begins (phase, standards, files).
  PhaseJournal(std::string installRoot, std::optional<UpdateRecord> resumed, UpdateRecord fresh);

  std::optional<install::InstallStep> Reached() const override;
  void Record(install::InstallStep step) override;
  // The old-version phase leaves no record behind; the new-version one leaves
  // "finished" until the window has closed (FinishRecordedRun).
  void PhaseOver() override;

 private:
  std::string installRoot_;
  std::optional<UpdateRecord> resumed_;
  UpdateRecord current_;
};

// Records `record` atomically and durably, with `flushFirst` after making what
// the run changed so far durable; raises through form::CreateError on failure.
void RecordDurably(const std::string& installRoot, const UpdateRecord& record, bool flushFirst);

// Removes the record once what the run changed is durable; raises like RecordDurably.
void RemoveRecordDurably(const std::string& installRoot);

// The close of the window ends a finished run: its record goes.
void FinishRecordedRun(const std::string& installRoot);

}  // namespace sorana::update
