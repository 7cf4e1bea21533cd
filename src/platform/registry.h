// The registry of the installation's Windows system: HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER, in the 32-bit view the product sees (its HKLM\SOFTWARE
// keys live under Software\Wow6432Node on a 64-bit system). On Linux the keys
// are read from and written to the prefix's registry files (system.reg,
// user.reg) atomically, and writes are refused while the prefix's wineserver
// runs (it would overwrite them); on Windows through the registry API.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "platform/windows_system.h"

namespace sorana::platform {

enum class Hive { LocalMachine, CurrentUser };

class RegistryKey {
 public:
  // Opens `subKey` (backslash-separated, case-insensitive) of the active system's
  // hive in the 32-bit view. With create, a missing key is added (written at the
  // first value write). Fails (ENOENT) when the key is missing and not created,
  // or when the hive cannot be read.
  static Result<RegistryKey> Open(Hive hive, std::string_view subKey, bool create);
  static Result<RegistryKey> Open(const WindowsSystem& prefix, Hive hive, std::string_view subKey,
                                         bool create);

  // REG_SZ / REG_EXPAND_SZ value; nullopt when missing or of another type.
  std::optional<std::string> ReadString(std::string_view name) const;
  Status WriteString(std::string_view name, std::string_view value);
  Status WriteBinary(std::string_view name, const std::vector<uint8_t>& data);

  // The key path as stored in the file (after any Wow6432Node redirection).
  const std::string& StoredPath() const { return storedPath_; }

 private:
  RegistryKey(WindowsSystem prefix, Hive hive, std::string storedPath)
      : prefix_(std::move(prefix)), hive_(hive), storedPath_(std::move(storedPath)) {}
  WindowsSystem prefix_;
  Hive hive_;
  std::string storedPath_;
};

}  // namespace sorana::platform
