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
Result<std::string> ReadHive(const fs::path& file) {
  int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ErrnoError(errno, "cannot open " + file.string());
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
  const int error = errno;
  close(fd);
  if (n != 0) return ErrnoError(error, "cannot read " + file.string());
  if (!text.starts_with(kSignature)) return ErrnoError(EINVAL, file.string() + " is no Wine registry file");
  return text;
}

// Sets the value line of key `storedPath` in the hive, replacing the file atomically.
Status WriteValueLine(const WindowsSystem& prefix, Hive hive, const std::string& storedPath,
                      std::string_view name, const std::optional<std::string>& valueLine) {
  if (!valueLine) return ErrnoError(EINVAL, "a value the registry file cannot hold");
  // The running server would overwrite the file with its own copy.
  if (WineServerRunning(prefix)) return ErrnoError(EBUSY, "the prefix's wineserver runs");
  fs::path file = HiveFile(prefix, hive);
  Result<std::string> text = ReadHive(file);
  if (!text) return text.error();
  std::optional<std::string> edited =
      formats::registry_text::WithValue(*text, storedPath, name, *valueLine, std::time(nullptr));
  if (!edited) return ErrnoError(EINVAL, "the key cannot be stored in " + file.string());
  // A write stopped dead left its temporary beside the hive.
  host::RemoveStaleTemporariesIn(file.parent_path());
  return host::WriteFileAtomic(file, *edited);
}

}  // namespace

Result<RegistryKey> RegistryKey::Open(Hive hive, std::string_view subKey, bool create) {
  return Open(ActiveSystem(), hive, subKey, create);
}

Result<RegistryKey> RegistryKey::Open(const WindowsSystem& prefix, Hive hive, std::string_view subKey,
                                      bool create) {
  Result<std::string> text = ReadHive(HiveFile(prefix, hive));
  if (!text) return text.error();
  std::optional<formats::registry_text::KeyPath> key =
      formats::registry_text::LocateKey(*text, subKey, hive == Hive::LocalMachine);
  if (!key) return ErrnoError(EINVAL, "no key can be named " + std::string(subKey));
  if (!key->exists && !create) return ErrnoError(ENOENT, "no key " + std::string(subKey));
  return RegistryKey(prefix, hive, std::move(key->stored));
}

std::optional<std::string> RegistryKey::ReadString(std::string_view name) const {
  Result<std::string> text = ReadHive(HiveFile(prefix_, hive_));
  if (!text) return std::nullopt;
  return formats::registry_text::ReadString(*text, storedPath_, name);
}

Status RegistryKey::WriteString(std::string_view name, std::string_view value) {
  return WriteValueLine(prefix_, hive_, storedPath_, name,
                        formats::registry_text::StringValueLine(name, value));
}

Status RegistryKey::WriteBinary(std::string_view name, const std::vector<uint8_t>& data) {
  return WriteValueLine(prefix_, hive_, storedPath_, name,
                        formats::registry_text::BinaryValueLine(name, data));
}

}  // namespace sorana::platform
