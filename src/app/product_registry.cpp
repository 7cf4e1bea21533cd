#include "app/product_registry.h"

#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

#include "formats/ascii_case.h"
#include "formats/win_path_text.h"
#include "platform/registry.h"
#include "platform/windows_system.h"

namespace sorana::app {

using platform::Hive;
using platform::RegistryKey;

namespace {

// The registry steps of the start-up never stop it, whatever the host layer raises.
template <typename Step>
void IgnoringErrors(Step step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

void RepairProgramPath() {
  platform::Result<platform::RegistryKey> key = RegistryKey::Open(Hive::LocalMachine, kProductKey, false);
  if (!key) return;
  std::optional<std::string> exename = key->ReadString("Exename");
  if (!exename) return;
  std::string path = formats::AsciiUpper(*exename);
  size_t at = path.find("OLD_BIN\\");
  if (at == std::string::npos) return;
  path.erase(at, 8);
  key->WriteString("exename", path);  // a failed write is ignored
}

std::string ProductFolderOfExename() {
  platform::Result<platform::RegistryKey> key = RegistryKey::Open(Hive::LocalMachine, kProductKey, false);
  if (!key) return {};
  std::optional<std::string> exename = key->ReadString("Exename");
  return exename ? formats::ExtractFilePath(*exename) : std::string();
}

}  // namespace

void RepairRegisteredProgramPath() { IgnoringErrors(RepairProgramPath); }

void ResetEngineReadOption() {
  IgnoringErrors([] {
    platform::Result<platform::RegistryKey> key =
        RegistryKey::Open(Hive::CurrentUser, kEngineOptionKey, true);
    if (key) key->WriteBinary("ReadOption", std::vector<uint8_t>(12, 0));
  });
}

std::string RegisteredProductFolder() {
  std::string folder;
  IgnoringErrors([&] { folder = ProductFolderOfExename(); });
  return folder;
}

}  // namespace sorana::app
