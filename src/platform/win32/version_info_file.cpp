// The version text of a program file through the system's version library.
#include <vector>

#include "platform/version_info.h"
#include "platform/win32/windows_api.h"
#include "platform/windows_system.h"

namespace sorana::platform {

std::string GetFileVersionText(std::string_view windowsPath) {
  std::optional<std::filesystem::path> host = ToHost(windowsPath);
  if (!host) return {};
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(host->c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(host->c_str(), 0, size, block.data())) return {};
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD) {
    return {};
  }
  return "v" + std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionLS));
}

}  // namespace sorana::platform
