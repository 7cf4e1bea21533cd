// A throw-away Wine-style prefix for tests: <tmp>/prefix with drive_c,
// dosdevices/c: -> ../drive_c and z: -> /, empty system.reg and user.reg,
// made the active prefix for the test's lifetime.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace sorana::test {

class TempPrefix {
 public:
  // arch: "win32" or "win64" (written as #arch= in system.reg and user.reg).
  explicit TempPrefix(std::string_view arch = "win32");
  ~TempPrefix();
  TempPrefix(const TempPrefix&) = delete;
  TempPrefix& operator=(const TempPrefix&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path DriveC() const { return root_ / "drive_c"; }
  // A scratch folder beside the prefix (not inside it), for host-only files.
  const std::filesystem::path& Scratch() const { return scratch_; }

  // Host path of a Windows path on C: ("C:\a\b" -> drive_c/a/b), spelled as given.
  std::filesystem::path HostC(std::string_view windowsPathOnC) const;

  // Writes a host file (parents created).
  static void WriteFile(const std::filesystem::path& path, std::string_view bytes);
  static std::string ReadFile(const std::filesystem::path& path);
  // Read-only as Wine maps it: no write permission for anyone.
  static void MakeReadOnly(const std::filesystem::path& path);
  // Read-only as the host sees it: no owner write permission, the attribute on Windows.
  static bool IsReadOnly(const std::filesystem::path& path);

 private:
  std::filesystem::path base_;
  std::filesystem::path root_;
  std::filesystem::path scratch_;
};

}  // namespace sorana::test
