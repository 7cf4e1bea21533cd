// The registry of a Wine prefix: system.reg (HKEY_LOCAL_MACHINE) and user.reg
// (HKEY_CURRENT_USER) in Wine's own text format.
//
// The product is a 32-bit program: in a win64 prefix its HKLM\SOFTWARE keys live
// under Software\Wow6432Node. Writes are refused while a wineserver runs for the
// prefix (it would overwrite the file), and replace the file atomically.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_path.h"
#include "platform/wineserver_lock.h"

namespace sorana::platform {

enum class Hive { LocalMachine, CurrentUser };

class RegistryKey {
 public:
  // Opens `subKey` (backslash-separated, case-insensitive) of the active prefix's
  // hive in the 32-bit view. With create, a missing key is added (written at the
  // first value write). nullopt when the key is missing and not created, or the
  // hive's file cannot be read.
  static std::optional<RegistryKey> Open(Hive hive, std::string_view subKey, bool create);
  static std::optional<RegistryKey> Open(const WinePrefix& prefix, Hive hive, std::string_view subKey,
                                         bool create);

  // REG_SZ / REG_EXPAND_SZ value; nullopt when missing or of another type.
  std::optional<std::string> ReadString(std::string_view name) const;
  bool WriteString(std::string_view name, std::string_view value);
  bool WriteBinary(std::string_view name, const std::vector<uint8_t>& data);

  // The key path as stored in the file (after any Wow6432Node redirection).
  const std::string& StoredPath() const { return storedPath_; }

 private:
  RegistryKey(WinePrefix prefix, Hive hive, std::string storedPath)
      : prefix_(std::move(prefix)), hive_(hive), storedPath_(std::move(storedPath)) {}
  WinePrefix prefix_;
  Hive hive_;
  std::string storedPath_;
};

}  // namespace sorana::platform
