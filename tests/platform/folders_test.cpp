#include "platform/folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/win_path.h"
#include "support/temp_prefix.h"

namespace sorana::platform {
namespace {

namespace fs = std::filesystem;
using test::TempPrefix;

// Sets TMPDIR for one test and puts the old value back.
class ScopedTmpDir {
 public:
  explicit ScopedTmpDir(const char* value) {
    if (const char* old = std::getenv("TMPDIR")) saved_ = old;
    if (value) {
      setenv("TMPDIR", value, 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  ~ScopedTmpDir() {
    if (saved_) {
      setenv("TMPDIR", saved_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

 private:
  std::optional<std::string> saved_;
};

TEST(Folders, WindowsFolderNeedsADriveC) {
  TempPrefix prefix;
  EXPECT_EQ(GetWindowsFolder(), "C:\\windows");
  fs::remove(prefix.Root() / "dosdevices" / "c:");
  EXPECT_EQ(GetWindowsFolder(), "");
}

TEST(Folders, TempFolderThroughTheDriveThatMapsIt) {
  TempPrefix prefix;
  fs::create_directories(prefix.Scratch() / "tmp dir");
  {
    ScopedTmpDir tmp(nullptr);
    EXPECT_EQ(GetTempFolder(), "Z:\\tmp\\");
  }
  {
    // Inside drive_c the C: drive is the deeper mapping; one trailing backslash.
    ScopedTmpDir tmp((prefix.DriveC() / "windows" / "temp").c_str());
    EXPECT_EQ(GetTempFolder(), "C:\\windows\\temp\\");
  }
  {
    std::string withSlash = (prefix.Scratch() / "tmp dir").string() + "/";
    ScopedTmpDir tmp(withSlash.c_str());
    std::string expected =
        ActivePrefix().ToWindows(fs::canonical(prefix.Scratch() / "tmp dir")).value() + "\\";
    EXPECT_EQ(GetTempFolder(), expected);
    EXPECT_FALSE(expected.ends_with("\\\\"));
  }
  {
    ScopedTmpDir tmp("/");
    EXPECT_EQ(GetTempFolder(), "Z:\\");
  }
  {
    ScopedTmpDir tmp("relative/tmp");
    EXPECT_EQ(GetTempFolder(), "Z:\\tmp\\");
  }
  // No drive maps the host folder.
  fs::remove(prefix.Root() / "dosdevices" / "z:");
  ScopedTmpDir tmp(nullptr);
  EXPECT_EQ(GetTempFolder(), "C:\\windows\\temp\\");
}

}  // namespace
}  // namespace sorana::platform
