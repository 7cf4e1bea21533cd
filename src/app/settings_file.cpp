#include "app/settings_file.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "form/app_error.h"
#include "formats/ascii_case.h"
#include "formats/cp932.h"
#include "formats/win_path_text.h"
#include "platform/file_system.h"
#include "platform/folders.h"
#include "platform/windows_system.h"

namespace sorana::app {

namespace {

// Splits at CR LF, LF or a lone CR; a final line ending adds no empty line.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      visit(text.substr(start));
      return;
    }
    visit(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
}

[[noreturn]] void RaiseCannotCreate(std::string_view fileName, const platform::HostError& cause) {
  std::string shown = fileName.empty() ? std::string(kInitFileName) : std::string(fileName);
  throw form::AppError("ファイル \"" + shown + "\" を作成できません。" + std::strerror(cause.code), cause);
}

[[noreturn]] void RaiseCannotCreate(std::string_view fileName, int error) {
  RaiseCannotCreate(fileName, platform::ErrnoError(error));
}

}  // namespace

std::string LocateInitFile() {
  std::string windows = platform::GetWindowsFolder();
  if (windows.empty()) return {};
  std::string velmora = windows.substr(0, 1) + ":\\VELMORA\\SORANA";
  std::string folder = platform::DirectoryExists(velmora) ? velmora : windows;
  return formats::IncludeTrailingBackslash(folder) + kInitFileName;
}

InitFileValues ParseInitFile(std::string_view text) {
  static constexpr std::array<std::string_view, 4> kKeys = {"PROXYIP", "PROXYPORT", "PATH", "VER"};
  std::array<std::optional<std::string>, 4> found;
  ForEachLine(text, [&](std::string_view line) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return;
    std::string name = formats::AsciiUpper(line.substr(0, eq));
    for (size_t k = 0; k < kKeys.size(); ++k) {
      if (!found[k] && name == kKeys[k]) found[k] = std::string(line.substr(eq + 1));
    }
  });
  return InitFileValues{found[0].value_or(""), found[1].value_or(""), found[2].value_or(""),
                        found[3].value_or("")};
}

std::optional<InitFileValues> ReadInitFile(std::string_view fileName) {
  platform::Result<std::string> bytes = platform::ReadWholeFile(fileName);
  if (!bytes) return std::nullopt;
  std::string text;
  ForEachLine(*bytes, [&](std::string_view line) {
    if (std::optional<std::string> utf8 = formats::Cp932ToUtf8(line)) text += *utf8 + "\n";
  });
  return ParseInitFile(text);
}

std::optional<uint16_t> PortFromNumber(double number) {
  double whole = std::trunc(number);
  if (!(whole >= 0 && whole <= 65535)) return std::nullopt;  // NaN fails too
  return static_cast<uint16_t>(whole);
}

std::string InitFileText(const form::FormState& state) {
  return "PROXYIP=" + state.ProxyIP + "\r\n" + "PROXYPORT=" + std::to_string(state.ProxyPortNo) + "\r\n" +
         "PATH=" + state.WorkFolder + "\r\n" + "VER=" + state.InitVer + "\r\n";
}

void WriteInitFile(const form::FormState& state) {
  if (state.InitFileName.empty()) RaiseCannotCreate(state.InitFileName, ENOENT);
  // A value holding a line break would add lines that the next start reads as settings.
  for (const std::string* value : {&state.ProxyIP, &state.WorkFolder, &state.InitVer}) {
    if (value->find_first_of("\r\n") != std::string::npos) RaiseCannotCreate(state.InitFileName, EINVAL);
  }
  std::optional<std::string> bytes = formats::Utf8ToCp932(InitFileText(state));
  if (!bytes) RaiseCannotCreate(state.InitFileName, EILSEQ);
  if (platform::Status written = platform::WriteFileAtomic(state.InitFileName, *bytes); !written) {
    RaiseCannotCreate(state.InitFileName, written.error());
  }
}

}  // namespace sorana::app
