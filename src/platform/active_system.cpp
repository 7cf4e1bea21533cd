// The system every Windows path of the program refers to, on every host.
#include <optional>
#include <string_view>
#include <utility>

#include "platform/windows_system.h"

namespace sorana::platform {

namespace fs = std::filesystem;

namespace {
WindowsSystem& ActiveSystemStorage() {
  static WindowsSystem system = WindowsSystem::FromEnvironment();
  return system;
}
}  // namespace

// Callers may keep the reference: SetActiveSystem assigns into the same object.
const WindowsSystem& ActiveSystem() { return ActiveSystemStorage(); }

void SetActiveSystem(WindowsSystem system) { ActiveSystemStorage() = std::move(system); }

std::optional<fs::path> ToHost(std::string_view windowsPath) { return ActiveSystem().ToHost(windowsPath); }

}  // namespace sorana::platform
