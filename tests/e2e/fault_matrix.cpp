#include "e2e/fault_matrix.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/standards.h"
#include "e2e/installed_tree.h"
#include "platform/profile.h"

namespace sorana::e2e {

namespace {

struct MatrixRow {
  std::string fault;
  std::string outcome;
  bool passed;
};

std::vector<MatrixRow>& Rows() {
  static std::vector<MatrixRow> rows;
  return rows;
}

// Display width of UTF-8 text: CJK and full-width characters take two columns.
size_t Width(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    // Half-width katakana (U+FF61..FF9F, EF BD A1 .. EF BE 9F) takes one column.
    bool halfWidth =
        length == 3 && lead == 0xEF && i + 1 < text.size() &&
        (static_cast<unsigned char>(text[i + 1]) == 0xBD || static_cast<unsigned char>(text[i + 1]) == 0xBE);
    width += length >= 3 && !halfWidth ? 2 : 1;
    i += length;
  }
  return width;
}

std::string Pad(const std::string& text, size_t width) {
  return text + std::string(width > Width(text) ? width - Width(text) : 0, ' ');
}

class MatrixPrinter : public ::testing::Environment {
 public:
  void TearDown() override {
    const std::vector<MatrixRow>& rows = Rows();
    if (rows.empty()) return;
    size_t faultWidth = 5;
    size_t outcomeWidth = 7;
    for (const MatrixRow& row : rows) {
      faultWidth = std::max(faultWidth, Width(row.fault));
      outcomeWidth = std::max(outcomeWidth, Width(row.outcome));
    }
    std::string rule =
        "+-" + std::string(faultWidth, '-') + "-+-" + std::string(outcomeWidth, '-') + "-+------+";
    std::printf("\nFault matrix\n%s\n| %s | %s | pass |\n%s\n", rule.c_str(),
                Pad("fault", faultWidth).c_str(), Pad("outcome", outcomeWidth).c_str(), rule.c_str());
    size_t failed = 0;
    for (const MatrixRow& row : rows) {
      failed += row.passed ? 0 : 1;
      std::printf("| %s | %s | %s |\n", Pad(row.fault, faultWidth).c_str(),
                  Pad(row.outcome, outcomeWidth).c_str(), row.passed ? " yes" : " NO ");
    }
    std::printf("%s\n%zu faults, %zu passed, %zu failed\n", rule.c_str(), rows.size(), rows.size() - failed,
                failed);
    std::fflush(stdout);
  }
};

[[maybe_unused]] ::testing::Environment* const kPrinter =
    ::testing::AddGlobalTestEnvironment(new MatrixPrinter);

}  // namespace

void AddMatrixRow(const std::string& fault, const std::string& outcome, bool passed) {
  Rows().push_back({fault, outcome, passed});
}

void FaultMatrixTest::Prepare(ScenarioOptions options, bool twoFolders) {
  chosen_ = options.standards;
  scenario_.reset();  // its environment is restored before the next one is set
  scenario_ = std::make_unique<UpdateScenario>(options);
  if (twoFolders) scenario_->UseTwoFolderLayout();
  userFiles_ = scenario_->SnapshotUserFiles();
}

void FaultMatrixTest::TearDown() {
  if (!fault_.empty()) AddMatrixRow(fault_, outcome_, !HasFailure() && !IsSkipped());
  scenario_.reset();
}

void FaultMatrixTest::Row(std::string fault, std::string outcome) {
  fault_ = std::move(fault);
  outcome_ = std::move(outcome);
}

void FaultMatrixTest::ExpectUserFilesUnchanged() const {
  for (const auto& [path, bytes] : userFiles_) {
    EXPECT_EQ(ReadHostFile(path), std::optional<std::string>(bytes)) << path;
  }
}

void FaultMatrixTest::ExpectRecordIntact() const {
  const std::string record = std::string(kInstallRoot) + "Install.ini";
  for (size_t i = 0; i < chosen_.size(); ++i) {
    EXPECT_EQ(platform::ReadProfileString(record, "PULUGINLIST", catalogue::kStandardCaptions[i], ""),
              chosen_[i] ? "1" : "0")
        << catalogue::kStandardCaptions[i];
  }
}

void FaultMatrixTest::ExpectPhaseUntouched() const {
  ExpectNothingOfPhaseInstalled(*scenario_, false, chosen_);
  EXPECT_TRUE(PluginFolder(*scenario_, false).empty());
}

}  // namespace sorana::e2e
