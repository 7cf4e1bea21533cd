// The registry through the Win32 API. A 32-bit program sees the 32-bit view of
// HKEY_LOCAL_MACHINE\SOFTWARE by itself, so the path is used as given.
#include "platform/registry.h"

#include <cerrno>

#include "platform/crash_point.h"
#include "platform/file_system.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace sorana::platform {

namespace {

HKEY RootOf(Hive hive) { return hive == Hive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

// An open key, closed when it leaves scope.
class OpenKey {
 public:
  OpenKey() = default;
  ~OpenKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY* Out() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The registry calls return their error instead of leaving it for GetLastError.
Status Checked(LONG status) {
  if (status == ERROR_SUCCESS) return {};
  return win32::SystemError(static_cast<unsigned long>(status));
}

// Opens the key for reading, or for writing (created when missing).
Status OpenForAccess(Hive hive, const std::string& path, bool write, OpenKey& key) {
  std::optional<std::wstring> wide = win32::Widen(path);
  if (!wide) return Checked(ERROR_INVALID_NAME);
  return Checked(write ? RegCreateKeyExW(RootOf(hive), wide->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_SET_VALUE, nullptr, key.Out(), nullptr)
                       : RegOpenKeyExW(RootOf(hive), wide->c_str(), 0, KEY_QUERY_VALUE, key.Out()));
}

Status SetValue(Hive hive, const std::string& path, std::string_view name, DWORD type, const void* data,
                size_t size) {
  std::optional<std::wstring> wideName = win32::Widen(name);
  if (!wideName) return Checked(ERROR_INVALID_NAME);
  // The registry is written in place: a point of its own, as the hive files' atomic writes are on Linux.
  CrashPoint();
  OpenKey key;
  if (Status opened = OpenForAccess(hive, path, true, key); !opened) return opened;
  return Checked(RegSetValueExW(key.Get(), wideName->c_str(), 0, type, static_cast<const BYTE*>(data),
                                static_cast<DWORD>(size)));
}

}  // namespace

Result<RegistryKey> RegistryKey::Open(Hive hive, std::string_view subKey, bool create) {
  return Open(ActiveSystem(), hive, subKey, create);
}

Result<RegistryKey> RegistryKey::Open(const WindowsSystem& prefix, Hive hive, std::string_view subKey,
                                      bool create) {
  std::string path(subKey);
  OpenKey key;
  // A missing key that is to be created is added by the first value write.
  if (Status opened = OpenForAccess(hive, path, false, key); !opened && !create) return opened.error();
  return RegistryKey(prefix, hive, std::move(path));
}

std::optional<std::string> RegistryKey::ReadString(std::string_view name) const {
  std::optional<std::wstring> wideName = win32::Widen(name);
  OpenKey key;
  if (!wideName || !OpenForAccess(hive_, storedPath_, false, key)) return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), wideName->c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  // The value may change between the two calls: the read is repeated while it grows.
  std::wstring text;
  LONG status = ERROR_MORE_DATA;
  while (status == ERROR_MORE_DATA) {
    text.assign(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    status = RegQueryValueExW(key.Get(), wideName->c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(text.data()), &size);
  }
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  // The stored text need not end in a NUL, and may end in several.
  text.resize(size / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return win32::Narrow(text);
}

Status RegistryKey::WriteString(std::string_view name, std::string_view value) {
  std::optional<std::wstring> wide = win32::Widen(value);
  if (!wide) return Checked(ERROR_INVALID_DATA);
  return SetValue(hive_, storedPath_, name, REG_SZ, wide->c_str(), (wide->size() + 1) * sizeof(wchar_t));
}

Status RegistryKey::WriteBinary(std::string_view name, const std::vector<uint8_t>& data) {
  return SetValue(hive_, storedPath_, name, REG_BINARY, data.data(), data.size());
}

}  // namespace sorana::platform
