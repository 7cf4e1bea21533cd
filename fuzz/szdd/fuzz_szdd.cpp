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
using sorana::install::ExpandOutcome;
using Expansion = sorana::platform::Result<ExpandOutcome>;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const fs::path folder = sorana::fuzz::FreshFolder("szdd");
  const fs::path source = folder / "FOTODESK.EX_";
  const fs::path target = folder / "FOTODESK.EXE";
  sorana::fuzz::WriteHostFile(source, input);

  std::optional<Expansion> beside;
  std::optional<Expansion> inPlace;
  std::optional<std::string> expanded;
  {
    sorana::fuzz::WriteGuard guard({folder});
    beside = ExpandFile(source, target);
  }
  expanded = sorana::fuzz::ReadHostFile(target);
  if (beside->has_value() != expanded.has_value()) Finding("outcome and target disagree: " + beside->error().what);
  if (*beside == ExpandOutcome::Copied && *expanded != input) Finding("copy differs from source");
  if (sorana::fuzz::TreeOf(folder).size() != (beside->has_value() ? 2u : 1u)) Finding("temporary file left beside");
  if (!*beside && beside->error().what.empty()) Finding("failure without a detail");

  {
    sorana::fuzz::WriteGuard guard({folder});
    inPlace = ExpandFile(source, source);
  }
  std::optional<std::string> after = sorana::fuzz::ReadHostFile(source);
  if (!after) Finding("in-place expansion lost the source");
  if (inPlace->has_value() != beside->has_value() || (*inPlace && **inPlace != **beside)) {
    Finding("in-place outcome differs: " + inPlace->error().what);
  }
  if (*inPlace && *after != *expanded) Finding("in-place expansion differs");
  if (!*inPlace && *after != input) Finding("failed in-place expansion changed the source");
  return 0;
}
