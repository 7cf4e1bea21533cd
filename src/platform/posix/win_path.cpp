#include "formats/ascii_case.h"
#include "formats/win_path_text.h"
#include "platform/windows_system.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace sorana::platform {

namespace fs = std::filesystem;

namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (formats::AsciiLower(a[i]) != formats::AsciiLower(b[i])) return false;
  }
  return true;
}

bool IsSeparator(char ch) { return ch == '\\' || ch == '/'; }

bool IsDriveLetter(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }

// Does the name exist in the folder as spelled (without following a final link)?
bool EntryExists(const fs::path& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The entry of `folder` whose name equals `name` ignoring case, or nullopt.
std::optional<std::string> FindEntryIgnoringCase(const fs::path& folder, std::string_view name) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return std::nullopt;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return std::nullopt;
    std::string entry = it->path().filename().string();
    if (EqualsIgnoringAsciiCase(entry, name)) return entry;
  }
  return std::nullopt;
}

// The folder a drive link points to, fully resolved; nullopt when the drive is
// unknown to the prefix or its target is gone.
std::optional<fs::path> DriveTarget(const fs::path& root, char letter) {
  std::string link = std::string(1, formats::AsciiLower(letter)) + ":";
  std::error_code ec;
  fs::path target = fs::canonical(root / "dosdevices" / link, ec);
  if (ec || !fs::is_directory(target, ec)) return std::nullopt;
  return target;
}

}  // namespace

WindowsSystem::WindowsSystem(fs::path root) : root_(std::move(root)) {}

WindowsSystem WindowsSystem::FromEnvironment() {
  const char* env = std::getenv("WINEPREFIX");
  if (env != nullptr && *env != '\0') return WindowsSystem(env);
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') {
    const passwd* pw = getpwuid(getuid());
    home = (pw != nullptr && pw->pw_dir != nullptr) ? pw->pw_dir : "/";
  }
  return WindowsSystem(fs::path(home) / ".wine");
}

std::optional<fs::path> WindowsSystem::ToHost(std::string_view windowsPath) const {
  if (windowsPath.size() < 2 || !IsDriveLetter(windowsPath[0]) || windowsPath[1] != ':') return std::nullopt;
  std::string_view rest = windowsPath.substr(2);
  // "C:name" is relative to the drive's current folder, which a prefix does not have.
  if (!rest.empty() && !IsSeparator(rest.front())) return std::nullopt;

  // Split into components and resolve "." and ".." textually; ".." never
  // climbs above the drive root, as on Windows.
  const std::vector<std::string_view> parts = formats::ResolvedComponents(rest);

  std::optional<fs::path> drive = DriveTarget(root_, windowsPath[0]);
  if (!drive) return std::nullopt;

  fs::path host = *drive;
  bool parentExists = true;
  for (std::string_view part : parts) {
    fs::path exact = host / std::string(part);
    if (parentExists && !EntryExists(exact)) {
      if (std::optional<std::string> match = FindEntryIgnoringCase(host, part)) {
        host /= *match;
        continue;
      }
      parentExists = false;
    }
    host = std::move(exact);
  }
  return host;
}

std::optional<std::string> WindowsSystem::ToWindows(const fs::path& hostPath) const {
  std::error_code ec;
  fs::path absolute = fs::weakly_canonical(fs::absolute(hostPath, ec), ec);
  if (ec) return std::nullopt;

  std::optional<char> bestLetter;
  size_t bestDepth = 0;
  fs::path bestRelative;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    std::optional<fs::path> target = DriveTarget(root_, letter);
    if (!target) continue;
    // Component-wise prefix test: the target's components must lead the path's.
    auto t = target->begin();
    auto a = absolute.begin();
    size_t depth = 0;
    for (; t != target->end() && a != absolute.end() && *t == *a; ++t, ++a) ++depth;
    // A trailing empty component ("/x/") matches anything.
    if (t != target->end() && !t->empty()) continue;
    if (bestLetter && depth <= bestDepth) continue;
    bestLetter = letter;
    bestDepth = depth;
    bestRelative.clear();
    for (; a != absolute.end(); ++a) {
      if (!a->empty()) bestRelative /= *a;
    }
  }
  if (!bestLetter) return std::nullopt;

  std::string out(1, static_cast<char>(*bestLetter - 'a' + 'A'));
  out += ":\\";
  bool first = true;
  for (const fs::path& part : bestRelative) {
    if (!first) out += '\\';
    out += part.string();
    first = false;
  }
  return out;
}
}  // namespace sorana::platform
