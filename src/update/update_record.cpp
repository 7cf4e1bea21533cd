#include "update/update_record.h"

#include <array>
#include <charconv>
#include <sstream>

#include "platform/file_system.h"

namespace sorana::update {

namespace {

// One line a field, the file's name last so that it may hold blanks.
constexpr std::string_view kHeader = "sorana-update-record 1";

constexpr std::array<std::pair<RunStep, std::string_view>, 4> kRunSteps{{
    {RunStep::Converting, "converting"},
    {RunStep::Converted, "converted"},
    {RunStep::Installing, "installing"},
    {RunStep::Finished, "finished"},
}};
constexpr std::array<std::pair<install::InstallStep, std::string_view>, 4> kInstallSteps{{
    {install::InstallStep::Installing, "copying"},
    {install::InstallStep::OldBackupsRemoved, "old-backups-removed"},
    {install::InstallStep::BackedUp, "backed-up"},
    {install::InstallStep::Installed, "installed"},
}};

template <typename Step, size_t N>
std::string_view NameOf(const std::array<std::pair<Step, std::string_view>, N>& names, Step step) {
  for (const auto& [value, name] : names) {
    if (value == step) return name;
  }
  return {};
}

template <typename Step, size_t N>
std::optional<Step> StepNamed(const std::array<std::pair<Step, std::string_view>, N>& names,
                              std::string_view text) {
  for (const auto& [value, name] : names) {
    if (name == text) return value;
  }
  return std::nullopt;
}

std::optional<uint64_t> Number(std::string_view text) {
  uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string RecordPath(std::string_view installRoot) { return std::string(installRoot) + kRecordFileName; }

std::optional<UpdateRecord> Parse(std::string_view text) {
  std::istringstream lines{std::string(text)};
  std::string line;
  if (!std::getline(lines, line) || line != kHeader) return std::nullopt;
  UpdateRecord record;
  bool haveStep = false;
  while (std::getline(lines, line)) {
    const size_t blank = line.find(' ');
    if (blank == std::string::npos) return std::nullopt;
    const std::string_view key = std::string_view(line).substr(0, blank);
    const std::string_view value = std::string_view(line).substr(blank + 1);
    if (key == "step") {
      std::optional<RunStep> step = StepNamed(kRunSteps, value);
      if (!step) return std::nullopt;
      record.step = *step;
      haveStep = true;
    } else if (key == "phase") {
      if (value != "old" && value != "new") return std::nullopt;
      record.oldPhase = value == "old";
    } else if (key == "install") {
      std::optional<install::InstallStep> step = StepNamed(kInstallSteps, value);
      if (!step) return std::nullopt;
      record.install = *step;
    } else if (key == "standards") {
      if (value.size() != record.standards.size()) return std::nullopt;
      for (size_t i = 0; i < value.size(); ++i) record.standards[i] = value[i] == '1';
    } else if (key == "file") {
      const size_t cut = value.find(' ');
      std::optional<uint64_t> size =
          cut == std::string_view::npos ? std::nullopt : Number(value.substr(0, cut));
      if (!size) return std::nullopt;
      record.files.push_back({std::string(value.substr(cut + 1)), *size});
    } else {
      return std::nullopt;
    }
  }
  if (!haveStep) return std::nullopt;
  return record;
}

}  // namespace

std::optional<UpdateRecord> ReadUpdateRecord(std::string_view installRoot) {
  platform::Result<std::string> text = platform::ReadWholeFile(RecordPath(installRoot));
  if (!text) return std::nullopt;
  return Parse(*text);
}

platform::Status WriteUpdateRecord(std::string_view installRoot, const UpdateRecord& record) {
  std::string text(kHeader);
  text += "\nstep ";
  text += NameOf(kRunSteps, record.step);
  text += "\nphase ";
  text += record.oldPhase ? "old" : "new";
  text += "\ninstall ";
  text += NameOf(kInstallSteps, record.install);
  text += "\nstandards ";
  for (bool chosen : record.standards) text += chosen ? '1' : '0';
  for (const ArrivedFile& file : record.files) {
    text += "\nfile " + std::to_string(file.size) + " " + file.name;
  }
  text += "\n";
  return platform::WriteFileAtomic(RecordPath(installRoot), text);
}

platform::Status RemoveUpdateRecord(std::string_view installRoot) {
  const std::string path = RecordPath(installRoot);
  platform::Status removed = platform::RemoveFile(path);
  if (!removed && !platform::PathExists(path)) return {};
  return removed;
}

}  // namespace sorana::update
