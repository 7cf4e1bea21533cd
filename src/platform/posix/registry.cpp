#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>

#include "formats/registry_text.h"
#include "platform/file_system.h"
#include "platform/posix/stale_temporaries.h"
#include "platform/posix/wineserver_lock.h"

namespace sorana::platform {

namespace fs = std::filesystem;

namespace {

fs::path HiveFile(const WindowsSystem& prefix, Hive hive) {
  return prefix.Root() / (hive == Hive::LocalMachine ? "system.reg" : "user.reg");
}

constexpr std::string_view kSignature = "WINE REGISTRY Version 2";

// The file's text when it is a Wine registry file.
std::optional<std::string> ReadHive(const fs::path& file) {
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) text.reserve(static_cast<size_t>(st.st_size));
  char buffer[1 << 16];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  if (n != 0 || !text.starts_with(kSignature)) return std::nullopt;
  return text;
}

// Sets the value line of key `storedPath` in the hive, replacing the file atomically.
bool WriteValueLine(const WindowsSystem& prefix, Hive hive, const std::string& storedPath,
                    std::string_view name, const std::optional<std::string>& valueLine) {
  if (!valueLine) return false;
  if (WineServerRunning(prefix)) return false;  // it would overwrite the file with its own copy
  fs::path file = HiveFile(prefix, hive);
  std::optional<std::string> text = ReadHive(file);
  if (!text) return false;
  std::optional<std::string> edited =
      formats::registry_text::WithValue(*text, storedPath, name, *valueLine, std::time(nullptr));
  // A write stopped dead left its temporary beside the hive.
  host::RemoveStaleTemporariesIn(file.parent_path());
  return edited && host::WriteFileAtomic(file, *edited);
}

}  // namespace

std::optional<RegistryKey> RegistryKey::Open(Hive hive, std::string_view subKey, bool create) {
  return Open(ActiveSystem(), hive, subKey, create);
}

std::optional<RegistryKey> RegistryKey::Open(const WindowsSystem& prefix, Hive hive, std::string_view subKey,
                                             bool create) {
  std::optional<std::string> text = ReadHive(HiveFile(prefix, hive));
  if (!text) return std::nullopt;
  std::optional<formats::registry_text::KeyPath> key =
      formats::registry_text::LocateKey(*text, subKey, hive == Hive::LocalMachine);
  if (!key || (!key->exists && !create)) return std::nullopt;
  return RegistryKey(prefix, hive, std::move(key->stored));
}

std::optional<std::string> RegistryKey::ReadString(std::string_view name) const {
  std::optional<std::string> text = ReadHive(HiveFile(prefix_, hive_));
  if (!text) return std::nullopt;
  return formats::registry_text::ReadString(*text, storedPath_, name);
}

bool RegistryKey::WriteString(std::string_view name, std::string_view value) {
  return WriteValueLine(prefix_, hive_, storedPath_, name,
                        formats::registry_text::StringValueLine(name, value));
}

bool RegistryKey::WriteBinary(std::string_view name, const std::vector<uint8_t>& data) {
  return WriteValueLine(prefix_, hive_, storedPath_, name,
                        formats::registry_text::BinaryValueLine(name, data));
}

}  // namespace sorana::platform
