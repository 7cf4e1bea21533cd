// Windows path texts on Windows itself: the host path is the Windows path, and
// the system matches names without case. WindowsSystem keeps a root only for
// the callers that name one, and maps through the drives of the machine.
#include "formats/win_path_text.h"
#include "platform/windows_system.h"

#include <vector>

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace sorana::platform {

namespace fs = std::filesystem;

namespace {

bool IsSeparator(char ch) { return ch == '\\' || ch == '/'; }
bool IsDriveLetter(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }

bool DriveExists(char letter) {
  const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
  return GetDriveTypeW(root) != DRIVE_NO_ROOT_DIR;
}

// A network path, "\\server\share\rest": ".." never climbs above the share.
// The device namespaces ("\\?\", "\\.\") are no installation's place.
std::optional<fs::path> NetworkPathToHost(std::string_view windowsPath) {
  std::string_view rest = windowsPath.substr(2);
  std::string text = "\\\\";
  for (int part = 0; part < 2; ++part) {
    size_t end = 0;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    const std::string_view name = rest.substr(0, end);
    if (name.empty() || name == "." || name == ".." || name == "?") return std::nullopt;
    text += name;
    rest.remove_prefix(end);
    if (part == 0) {
      if (rest.empty()) return std::nullopt;
      rest.remove_prefix(1);
      text += '\\';
    }
  }
  for (std::string_view component : formats::ResolvedComponents(rest)) {
    text += '\\';
    text += component;
  }
  std::optional<std::wstring> wide = win32::Widen(text);
  if (!wide) return std::nullopt;
  return fs::path(*wide);
}

}  // namespace

WindowsSystem::WindowsSystem(fs::path root) : root_(std::move(root)) {}

WindowsSystem WindowsSystem::FromEnvironment() { return WindowsSystem(fs::path()); }

std::optional<fs::path> WindowsSystem::ToHost(std::string_view windowsPath) const {
  if (windowsPath.size() > 2 && IsSeparator(windowsPath[0]) && IsSeparator(windowsPath[1])) {
    return NetworkPathToHost(windowsPath);
  }
  if (windowsPath.size() < 2 || !IsDriveLetter(windowsPath[0]) || windowsPath[1] != ':') return std::nullopt;
  std::string_view rest = windowsPath.substr(2);
  // "C:name" is relative to the drive's current folder, which the core never means.
  if (!rest.empty() && !IsSeparator(rest.front())) return std::nullopt;
  if (!DriveExists(windowsPath[0])) return std::nullopt;

  // "." and ".." resolved textually, never above the drive root, as the
  // system's own full-path service does.
  const std::vector<std::string_view> parts = formats::ResolvedComponents(rest);
  std::string text(windowsPath.substr(0, 2));
  text += '\\';
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) text += '\\';
    text += parts[i];
  }
  std::optional<std::wstring> wide = win32::Widen(text);
  if (!wide) return std::nullopt;
  return fs::path(*wide);
}

std::optional<std::string> WindowsSystem::ToWindows(const fs::path& hostPath) const {
  std::error_code ec;
  fs::path absolute = fs::absolute(hostPath, ec);
  if (ec) return std::nullopt;
  std::wstring text = absolute.lexically_normal().native();
  for (wchar_t& ch : text) {
    if (ch == L'/') ch = L'\\';
  }
  if (text.size() > 3 && text.back() == L'\\') text.pop_back();
  return win32::Narrow(text);
}
}  // namespace sorana::platform
