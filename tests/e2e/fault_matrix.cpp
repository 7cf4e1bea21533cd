#include "e2e/fault_matrix.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <map>

#include "catalogue/standards.h"
#include "e2e/installed_tree.h"
#include "platform/profile.h"

namespace sorana::e2e {

using form::BoxKind;

namespace {

// The rows, in the order of the table.
const std::vector<FaultRow>& AllFaultRows() {
  static const std::vector<FaultRow> rows = [] {
    std::vector<FaultRow> all;
    for (auto table : {NetworkRows, InstallRows, ProcessRows, SigningRows}) {
      for (FaultRow& row : table()) all.push_back(std::move(row));
    }
    return all;
  }();
  return rows;
}

// Display width of UTF-8 text: CJK and full-width characters take two columns,
// half-width katakana (U+FF61..FF9F, EF BD/BE xx) one.
size_t Width(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    width += length >= 3 && !(length == 3 && lead == 0xEF && (next == 0xBD || next == 0xBE)) ? 2 : 1;
    i += length;
  }
  return width;
}

// Prints the table when the run ends, each row's result taken from
// GoogleTest's verdict on its test, so a row whose check failed says FAIL and
// one that cannot run on this machine says skip.
class MatrixTable : public ::testing::EmptyTestEventListener {
 public:
  void OnTestEnd(const ::testing::TestInfo& info) override {
    const ::testing::TestResult& result = *info.result();
    results_[info.name()] = result.Failed() ? "FAIL" : result.Skipped() ? "skip" : "yes";
  }

  void OnTestProgramEnd(const ::testing::UnitTest&) override {
    std::vector<std::array<std::string, 3>> lines = {{"fault", "outcome", "pass"}};
    std::map<std::string, size_t> counts;
    for (const FaultRow& row : AllFaultRows()) {
      auto result = results_.find("Row/" + row.name);
      if (result == results_.end()) continue;
      lines.push_back({row.fault, row.outcome, result->second});
      ++counts[result->second];
    }
    if (lines.size() == 1) return;
    std::array<size_t, 3> widths{};
    for (const auto& line : lines) {
      for (size_t i = 0; i < 3; ++i) widths[i] = std::max(widths[i], Width(line[i]));
    }
    std::string rule = "+";
    for (size_t width : widths) rule += std::string(width + 2, '-') + "+";
    std::string table = "\nFault matrix\n" + rule + "\n";
    for (const auto& line : lines) {
      for (size_t i = 0; i < 3; ++i)
        table += "| " + line[i] + std::string(widths[i] - Width(line[i]) + 1, ' ');
      table += "|\n" + (&line == &lines.front() ? rule + "\n" : "");
    }
    std::printf("%s%s\n%zu faults, %zu passed, %zu failed, %zu skipped\n", table.c_str(), rule.c_str(),
                lines.size() - 1, counts["yes"], counts["FAIL"], counts["skip"]);
    std::fflush(stdout);
  }

 private:
  std::map<std::string, std::string> results_;  // by test name: yes, FAIL or skip
};

[[maybe_unused]] const bool kTableListening = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new MatrixTable);
  return true;
}();

}  // namespace

void FaultMatrix::SetUp() {
  chosen = Standards({0, 7});
  scenario = std::make_unique<UpdateScenario>(
      ScenarioOptions{.installed = tools::VersionParts{2, 4, 0, 0}, .standards = chosen});
  if (GetParam().twoFolders) scenario->UseTwoFolderLayout();
  userFiles = scenario->SnapshotUserFiles();
  list = catalogue::BuildFileList(false, chosen);
}

FaultStep ServerFault(test::HttpFault fault, size_t trickleStep) {
  return [fault, trickleStep](FaultMatrix& m) {
    m.scenario->Server().SetFault(m.list[kPluginPosition], fault);
    if (trickleStep > 0) m.scenario->Server().SetTrickle(trickleStep, std::chrono::milliseconds(20));
    m.clear = [](FaultMatrix& m) {
      m.scenario->Server().SetFault(m.list[kPluginPosition], test::HttpFault::None);
    };
  };
}

void ClickUpdate(FaultMatrix& m) {
  m.session = std::make_unique<FormSession>();
  ASSERT_TRUE(m.session->Start());
  m.session->form.DownLoadButtonClick();
}

void ExpectUserFilesUnchanged(FaultMatrix& m) {
  for (const auto& [path, bytes] : m.userFiles) {
    EXPECT_EQ(ReadHostFile(path), std::optional<std::string>(bytes)) << path;
  }
}

void ExpectRecordIntact(FaultMatrix& m) {
  const std::string record = std::string(kInstallRoot) + "Install.ini";
  for (size_t i = 0; i < m.chosen.size(); ++i) {
    EXPECT_EQ(platform::ReadProfileString(record, "PULUGINLIST", catalogue::kStandardCaptions[i], ""),
              m.chosen[i] ? "1" : "0")
        << catalogue::kStandardCaptions[i];
  }
}

void ExpectPhaseUntouched(FaultMatrix& m) {
  ExpectNothingOfPhaseInstalled(*m.scenario, false, m.chosen);
  EXPECT_TRUE(PluginFolder(*m.scenario, false).empty());
}

FaultStep NextAttemptInstalls(bool freshStart) {
  return [freshStart](FaultMatrix& m) {
    if (m.clear) m.clear(m);
    if (freshStart) {
      m.session = std::make_unique<FormSession>();
      ASSERT_TRUE(m.session->Start());
    }
    const size_t errorsBefore = m.session->Boxes(BoxKind::Error).size();
    m.session->window.onProcessMessages = nullptr;
    m.session->form.DownLoadButtonClick();
    EXPECT_EQ(m.session->Boxes(BoxKind::Error).size(), errorsBefore);
    EXPECT_EQ(m.session->Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});
    ExpectFilesInstalled(*m.scenario, ExpectedPhaseFiles(false, m.chosen));
    ExpectRecordIntact(m);
  };
}

// Every row on a fresh machine; a row whose setup already failed or was
// skipped goes no further, and a failed check does not hide the next one.
TEST_P(FaultMatrix, Row) {
  const FaultRow& row = GetParam();
  if (row.inject) row.inject(*this);
  if (IsSkipped() || HasFatalFailure()) return;
  row.attempt(*this);
  if (HasFatalFailure()) return;
  for (const FaultStep& check : row.seen) check(*this);
}

// Failures name the row by its fault.
void PrintTo(const FaultRow& row, std::ostream* out) { *out << row.fault; }

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::ValuesIn(AllFaultRows()),
                         [](const ::testing::TestParamInfo<FaultRow>& info) { return info.param.name; });

}  // namespace sorana::e2e
