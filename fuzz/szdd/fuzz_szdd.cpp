// SZDD expansion: any bytes as a downloaded component. A copy is the same
// bytes; a failure leaves no target (and an in-place failure the source as it
// was); no temporary file stays; expanding in place gives what expanding
// beside it gave.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "install/szdd_expand.h"
#include "support/scratch.h"

namespace fs = std::filesystem;
using sorana::fuzz::Finding;
using sorana::install::ExpandFile;
using sorana::install::ExpandResult;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const fs::path folder = sorana::fuzz::FreshFolder("szdd");
  const fs::path source = folder / "FOTODESK.EX_";
  const fs::path target = folder / "FOTODESK.EXE";
  sorana::fuzz::WriteHostFile(source, input);

  ExpandResult beside;
  ExpandResult inPlace;
  std::optional<std::string> expanded;
  {
    sorana::fuzz::WriteGuard guard({folder});
    beside = ExpandFile(source, target);
  }
  expanded = sorana::fuzz::ReadHostFile(target);
  if (beside.ok() != expanded.has_value()) Finding("outcome and target disagree: " + beside.detail);
  if (beside.outcome == ExpandResult::Outcome::Copied && *expanded != input)
    Finding("copy differs from source");
  if (sorana::fuzz::TreeOf(folder).size() != (beside.ok() ? 2u : 1u)) Finding("temporary file left beside");
  if (!beside.ok() && beside.detail.empty()) Finding("failure without a detail");

  {
    sorana::fuzz::WriteGuard guard({folder});
    inPlace = ExpandFile(source, source);
  }
  std::optional<std::string> after = sorana::fuzz::ReadHostFile(source);
  if (!after) Finding("in-place expansion lost the source");
  if (inPlace.outcome != beside.outcome) Finding("in-place outcome differs: " + inPlace.detail);
  if (inPlace.ok() && *after != *expanded) Finding("in-place expansion differs");
  if (!inPlace.ok() && *after != input) Finding("failed in-place expansion changed the source");
  return 0;
}
