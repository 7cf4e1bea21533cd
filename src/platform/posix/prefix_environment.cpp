#include "platform/posix/prefix_environment.h"

#include <pwd.h>
#include <unistd.h>

#include "formats/ascii_case.h"
#include "platform/registry.h"

namespace sorana::platform {

namespace {

constexpr std::string_view kMachineEnvironment =
    "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
// Values that refer to each other expand this deep at most (a loop stops here).
constexpr int kMaxDepth = 4;

bool SameName(std::string_view a, std::string_view b) {
  return formats::AsciiUpper(a) == formats::AsciiUpper(b);
}

std::optional<std::string> ReadValue(const WindowsSystem& prefix, Hive hive, std::string_view key,
                                     std::string_view name) {
  Result<RegistryKey> opened = RegistryKey::Open(prefix, hive, key, false);
  if (!opened) return std::nullopt;
  return opened->ReadString(name);
}

std::string HostUserName() {
  const passwd* pw = getpwuid(getuid());
  return (pw != nullptr && pw->pw_name != nullptr) ? pw->pw_name : "user";
}

std::string Expand(const WindowsSystem& prefix, std::string_view text, int depth);

std::optional<std::string> Variable(const WindowsSystem& prefix, std::string_view name, int depth) {
  if (depth > kMaxDepth) return std::nullopt;
  if (SameName(name, "SystemRoot") || SameName(name, "windir")) return "C:\\windows";
  if (SameName(name, "SystemDrive")) return "C:";
  for (auto [hive, key] : {std::pair{Hive::CurrentUser, std::string_view("Volatile Environment")},
                           std::pair{Hive::CurrentUser, std::string_view("Environment")},
                           std::pair{Hive::LocalMachine, kMachineEnvironment}}) {
    if (std::optional<std::string> value = ReadValue(prefix, hive, key, name)) {
      return Expand(prefix, *value, depth + 1);
    }
  }
  if (SameName(name, "USERPROFILE")) return "C:\\users\\" + HostUserName();
  return std::nullopt;
}

std::string Expand(const WindowsSystem& prefix, std::string_view text, int depth) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('%', pos);
    size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out += text.substr(pos, open - pos);
    std::string_view name = text.substr(open + 1, close - open - 1);
    std::optional<std::string> value = name.empty() ? std::nullopt : Variable(prefix, name, depth);
    if (value) {
      out += *value;
      pos = close + 1;
    } else {
      // The closing "%" may open the next name.
      out += text.substr(open, close - open);
      pos = close;
    }
  }
  out += text.substr(pos);
  return out;
}

}  // namespace

std::optional<std::string> PrefixVariable(const WindowsSystem& prefix, std::string_view name) {
  return Variable(prefix, name, 0);
}

std::string ExpandPrefixVariables(const WindowsSystem& prefix, std::string_view text) {
  return Expand(prefix, text, 0);
}

}  // namespace sorana::platform
