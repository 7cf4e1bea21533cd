// Changes an environment variable (UTF-8 name and value) for the lifetime of a test object.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace sorana::test {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    old_ = Get();
    Set(value);
  }
  ~ScopedEnv() { Set(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
#ifdef _WIN32
  // The wide environment: the narrow one is in the ANSI code page, not UTF-8.
  static std::wstring Wide(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).wstring();
  }
  std::optional<std::string> Get() const {
    const wchar_t* old = _wgetenv(Wide(name_).c_str());
    if (old == nullptr) return std::nullopt;
    std::u8string text = std::filesystem::path(old).u8string();
    return std::string(text.begin(), text.end());
  }
  void Set(const std::optional<std::string>& value) const {
    _wputenv_s(Wide(name_).c_str(), value ? Wide(*value).c_str() : L"");
  }
#else
  std::optional<std::string> Get() const {
    const char* old = std::getenv(name_);
    return old ? std::optional<std::string>(old) : std::nullopt;
  }
  void Set(const std::optional<std::string>& value) const {
    value ? setenv(name_, value->c_str(), 1) : unsetenv(name_);
  }
#endif

  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace sorana::test
