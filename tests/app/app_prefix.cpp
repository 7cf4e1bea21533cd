#include "app_prefix.h"

#include <filesystem>
#include <stdexcept>

#include "app/product_registry.h"
#include "formats/cp932.h"
#include "platform/registry.h"
#include "support/pe_writer.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace sorana::test {

AppPrefix::~AppPrefix() {
#ifdef _WIN32
  auto removeKey = [](HKEY root, const char* utf8Key) {
    std::u8string key(reinterpret_cast<const char8_t*>(utf8Key));
    RegDeleteTreeW(root, std::filesystem::path(key).c_str());
  };
  removeKey(HKEY_LOCAL_MACHINE, app::kProductKey);
  removeKey(HKEY_CURRENT_USER, app::kEngineOptionKey);
  std::error_code ec;
  std::filesystem::remove(prefix.HostC("C:\\windows\\VMSORANA.INI"), ec);
#endif
}

void AppPrefix::WriteC(std::string_view windowsPath, std::string_view utf8Text) const {
  std::optional<std::string> bytes = formats::Utf8ToCp932(utf8Text);
  if (!bytes) throw std::runtime_error("text not representable in CP932");
  TempPrefix::WriteFile(prefix.HostC(windowsPath), *bytes);
}

std::optional<std::string> AppPrefix::ReadC(std::string_view windowsPath) const {
  std::filesystem::path host = prefix.HostC(windowsPath);
  if (!std::filesystem::exists(host)) return std::nullopt;
  return formats::Cp932ToUtf8(TempPrefix::ReadFile(host));
}

bool AppPrefix::ExistsC(std::string_view windowsPath) const {
  return std::filesystem::exists(prefix.HostC(windowsPath));
}

void AppPrefix::MakeFolderC(std::string_view windowsPath) const {
  std::filesystem::create_directories(prefix.HostC(windowsPath));
}

void AppPrefix::RegisterExename(std::string_view value) const {
  auto key = platform::RegistryKey::Open(platform::Hive::LocalMachine, app::kProductKey, true);
  if (!key || !key->WriteString("Exename", value)) throw std::runtime_error("cannot register Exename");
}

std::optional<std::string> AppPrefix::RegisteredExename() const {
  auto key = platform::RegistryKey::Open(platform::Hive::LocalMachine, app::kProductKey, false);
  if (!key) return std::nullopt;
  return key->ReadString("Exename");
}

void AppPrefix::InstallMainProgram(std::string_view folder, uint16_t a, uint16_t b, uint16_t c,
                                   uint16_t d) const {
  TempPrefix::WriteFile(prefix.HostC(std::string(folder) + "fotodesk.exe"), MakeProgramFile(a, b, c, d));
}

std::string StandardsRecord(std::initializer_list<std::string_view> entries) {
  std::string text = "[PULUGINLIST]\r\n";
  for (std::string_view entry : entries) text += std::string(entry) + "\r\n";
  return text;
}

}  // namespace sorana::test
