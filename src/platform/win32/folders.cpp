// The Windows folder and the user's temporary folder, as the system names them.
#include "platform/folders.h"
#include "formats/win_path_text.h"

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"
#include "platform/windows_system.h"

namespace sorana::platform {

namespace {
// Sizes the wide-character calls ask for, growing once when the first is too small.
template <typename Call>
std::wstring AskSystem(Call call) {
  std::wstring text(MAX_PATH + 1, L'\0');
  DWORD length = call(text.data(), static_cast<DWORD>(text.size()));
  if (length >= text.size()) {
    text.assign(length + 1, L'\0');
    length = call(text.data(), static_cast<DWORD>(text.size()));
    if (length >= text.size()) length = 0;
  }
  text.resize(length);
  return text;
}
}  // namespace

std::string GetWindowsFolder() {
  std::wstring folder =
      AskSystem([](wchar_t* buffer, DWORD size) { return GetWindowsDirectoryW(buffer, size); });
  while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  return win32::Narrow(folder).value_or(std::string());
}

std::string GetTempFolder() {
  std::wstring path = AskSystem([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); });
  // The long form of a folder the environment may name in 8.3 form ("C:\PROGRA~1\...").
  std::wstring longPath = AskSystem([&path](wchar_t* buffer, DWORD size) {
    return path.empty() ? 0 : GetLongPathNameW(path.c_str(), buffer, size);
  });
  if (!longPath.empty()) path = std::move(longPath);
  std::string text = win32::Narrow(path).value_or(std::string());
  if (text.empty()) text = formats::IncludeTrailingBackslash(GetWindowsFolder()) + "temp";
  return formats::IncludeTrailingBackslash(std::move(text));
}

}  // namespace sorana::platform
