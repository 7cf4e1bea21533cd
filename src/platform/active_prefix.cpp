// The prefix every Windows path of the program refers to, on every host.
#include <optional>
#include <string_view>
#include <utility>

#include "platform/win_path.h"

namespace sorana::platform {

namespace fs = std::filesystem;

namespace {
WinePrefix& ActivePrefixStorage() {
  static WinePrefix prefix = WinePrefix::FromEnvironment();
  return prefix;
}
}  // namespace

// Callers may keep the reference: SetActivePrefix assigns into the same object.
const WinePrefix& ActivePrefix() { return ActivePrefixStorage(); }

void SetActivePrefix(WinePrefix prefix) { ActivePrefixStorage() = std::move(prefix); }

std::optional<fs::path> ToHost(std::string_view windowsPath) { return ActivePrefix().ToHost(windowsPath); }

}  // namespace sorana::platform
