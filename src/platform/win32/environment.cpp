// The wide environment: the narrow one of the C runtime is in the ANSI code page.
#include "platform/environment.h"

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace sorana::platform {

std::optional<std::string> EnvironmentVariable(std::string_view name) {
  std::optional<std::wstring> wideName = win32::Widen(name);
  if (!wideName) return std::nullopt;
  std::wstring value(64, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableW(wideName->c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < value.size()) {
      value.resize(length);
      return win32::Narrow(value);
    }
    value.assign(length, L'\0');  // the size it asks for, terminator included
  }
  return std::nullopt;
}

}  // namespace sorana::platform
