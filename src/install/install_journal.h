// What the installation of a phase tells the run's record as it goes, and
// what it learns from it when an earlier attempt of the same phase was stopped
// dead: the steps that destroy what they read (the plug-in backup) must not be
// done twice.
#pragma once

#include <optional>

namespace sorana::install {

// How far an installation got, in order.
enum class InstallStep {
  Installing,         // files may have been copied: copies repeat safely
  OldBackupsRemoved,  // the plug-in folder's old *.BAK are gone
  BackedUp,           // the user's plug-ins are *.BAK now; plug-ins present are ours
  Installed,          // everything is installed and on disk; the download folder remains
};

class InstallJournal {
 public:
  virtual ~InstallJournal() = default;
  // Where an earlier attempt of this phase stopped; nullopt for a fresh one.
  virtual std::optional<InstallStep> Reached() const = 0;
  // Records that the installation reached `step`, after making what it did so
  // far durable. Raises through form::CreateError when it cannot.
  virtual void Record(InstallStep step) = 0;
  // The download folder is clean: the phase is over.
  virtual void PhaseOver() = 0;
};

// For callers that keep no record (tests of the installation alone).
class NoJournal final : public InstallJournal {
 public:
  std::optional<InstallStep> Reached() const override { return std::nullopt; }
  void Record(InstallStep) override {}
  void PhaseOver() override {}
};

}  // namespace sorana::install
