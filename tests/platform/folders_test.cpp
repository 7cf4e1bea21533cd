#include "platform/folders.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "formats/win_path_text.h"
#include "platform/posix/prefix_environment.h"
#include "platform/registry.h"
#include "platform/windows_system.h"
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

// Without a temporary folder from the prefix: a folder of our own below TMPDIR.
TEST(Folders, TempFolderWithoutPrefixValueIsOurOwnBelowTmpdir) {
  TempPrefix prefix;
  const std::string own = "sorana-" + std::to_string(geteuid());
  fs::create_directories(prefix.Scratch() / "tmp dir");
  {
    ScopedTmpDir tmp(nullptr);
    EXPECT_TRUE(GetTempFolder().starts_with("Z:\\tmp\\" + own));
  }
  {
    // Inside drive_c the C: drive is the deeper mapping; one trailing backslash.
    ScopedTmpDir tmp((prefix.DriveC() / "windows" / "temp").c_str());
    EXPECT_EQ(GetTempFolder(), "C:\\windows\\temp\\" + own + "\\");
    EXPECT_EQ(fs::status(prefix.DriveC() / "windows" / "temp" / own).permissions(), fs::perms::owner_all);
  }
  {
    std::string withSlash = (prefix.Scratch() / "tmp dir").string() + "/";
    ScopedTmpDir tmp(withSlash.c_str());
    std::string expected =
        ActiveSystem().ToWindows(fs::canonical(prefix.Scratch() / "tmp dir")).value() + "\\" + own + "\\";
    EXPECT_EQ(GetTempFolder(), expected);
    EXPECT_FALSE(expected.ends_with("\\\\"));
  }
  {
    // Our name held by someone else's link: a fresh private folder instead.
    fs::create_directories(prefix.Scratch() / "elsewhere");
    fs::create_directories(prefix.Scratch() / "tmp link");
    fs::create_directory_symlink(prefix.Scratch() / "elsewhere", prefix.Scratch() / "tmp link" / own);
    ScopedTmpDir tmp((prefix.Scratch() / "tmp link").c_str());
    std::string folder = GetTempFolder();
    std::optional<fs::path> host = ActiveSystem().ToHost(folder);
    ASSERT_TRUE(host);
    EXPECT_EQ(host->parent_path(), fs::canonical(prefix.Scratch() / "tmp link"));
    EXPECT_TRUE(host->filename().string().starts_with(own + "-")) << folder;
    EXPECT_FALSE(fs::is_symlink(*host));
    EXPECT_EQ(fs::status(*host).permissions(), fs::perms::owner_all);
  }
  {
    ScopedTmpDir tmp("relative/tmp");
    EXPECT_TRUE(GetTempFolder().starts_with("Z:\\tmp\\" + own));
  }
  // No drive maps the host folder.
  fs::remove(prefix.Root() / "dosdevices" / "z:");
  ScopedTmpDir tmp(nullptr);
  EXPECT_EQ(GetTempFolder(), "C:\\windows\\temp\\");
}

// The value "TEMP" of HKCU\Environment, as Wine writes it, and what the
// temporary folder is then. An empty expectation: our own folder below TMPDIR.
struct PrefixTempCase {
  const char* name;
  const char* userReg;  // keys appended to user.reg
  const char* folder;   // made below drive_c ("" for none)
  fs::perms mode;
  bool foreign;  // the folder belongs to another user
  const char* expected;
};

class PrefixTempFolderTest : public ::testing::TestWithParam<PrefixTempCase> {};

TEST_P(PrefixTempFolderTest, IsUsedOnlyWhenPrivate) {
  const PrefixTempCase& c = GetParam();
  if (c.foreign && geteuid() != 0) GTEST_SKIP() << "giving a folder away needs root";
  TempPrefix prefix;
  fs::create_directories(prefix.Scratch() / "tmp");
  ScopedTmpDir tmp((prefix.Scratch() / "tmp").c_str());
  std::ofstream(prefix.Root() / "user.reg", std::ios::app) << c.userReg;
  if (*c.folder != '\0') {
    fs::path folder = prefix.DriveC() / c.folder;
    fs::create_directories(folder);
    fs::permissions(folder, c.mode);
    if (c.foreign) {
      ASSERT_EQ(chown(folder.c_str(), 4242, 4242), 0);
    }
  }
  std::string own = ActiveSystem().ToWindows(prefix.Scratch() / "tmp").value() + "\\sorana-" +
                    std::to_string(geteuid()) + "\\";
  EXPECT_EQ(GetTempFolder(), *c.expected != '\0' ? std::string(c.expected) : own);
}

constexpr fs::perms kOwnerOnly = fs::perms::owner_all;
constexpr fs::perms kWineDefault = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec;

INSTANTIATE_TEST_SUITE_P(
    Values, PrefixTempFolderTest,
    ::testing::Values(
        // What wineboot of Wine 8 writes.
        PrefixTempCase{"Wine8", "[Environment] 1\n\"TEMP\"=\"C:\\\\users\\\\tester\\\\Temp\"\n",
                       "users/tester/Temp", kWineDefault, false, "C:\\users\\tester\\Temp\\"},
        // Expandable, through the profile folder of the session.
        PrefixTempCase{"Expandable",
                       "[Environment] 1\n\"TEMP\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\\\\Temp\"\n\n"
                       "[Volatile Environment] 1\n\"USERPROFILE\"=\"C:\\\\users\\\\tester\"\n",
                       "users/tester/AppData/Local/Temp", kOwnerOnly, false,
                       "C:\\users\\tester\\AppData\\Local\\Temp\\"},
        // Long form: the names as the folders carry them; one trailing backslash.
        PrefixTempCase{"LongForm", "[Environment] 1\n\"TEMP\"=\"C:\\\\USERS\\\\TESTER\\\\temp\\\\\"\n",
                       "users/tester/Temp", kOwnerOnly, false, "C:\\users\\tester\\Temp\\"},
        PrefixTempCase{"MissingFolder", "[Environment] 1\n\"TEMP\"=\"C:\\\\users\\\\tester\\\\Temp\"\n", "",
                       kOwnerOnly, false, ""},
        PrefixTempCase{"UnknownVariable", "[Environment] 1\n\"TEMP\"=str(2):\"%NOSUCH%\\\\Temp\"\n",
                       "users/tester/Temp", kOwnerOnly, false, ""},
        PrefixTempCase{"WritableByOthers", "[Environment] 1\n\"TEMP\"=\"C:\\\\shared\"\n", "shared",
                       fs::perms::all, false, ""},
        PrefixTempCase{"ForeignOwner", "[Environment] 1\n\"TEMP\"=\"C:\\\\theirs\"\n", "theirs", kWineDefault,
                       true, ""},
        PrefixTempCase{"NoValue", "", "users/tester/Temp", kOwnerOnly, false, ""}),
    [](const ::testing::TestParamInfo<PrefixTempCase>& info) { return info.param.name; });

// The prefix wineboot makes, when Wine is installed; else the text Wine 8's
// wineboot writes, for the same user and folder. Either way the temporary
// folder is the one the prefix names, not a fallback.
TEST(Folders, TempFolderOfAWinebootPrefix) {
  TempPrefix scratch;
  const passwd* pw = getpwuid(geteuid());
  ASSERT_NE(pw, nullptr);
  const std::string user = pw->pw_name;
  fs::path root = scratch.Scratch() / "wine";
  if (std::system("command -v wineboot >/dev/null 2>&1") == 0) {
    const std::string env =
        "WINEPREFIX='" + root.string() + "' WINEDLLOVERRIDES='mscoree,mshtml=' LANG=ja_JP.UTF-8 ";
    int status = std::system((env + "timeout 240 wineboot -i >/dev/null 2>&1").c_str());
    std::system((env + "timeout 60 wineserver -w; " + env + "wineserver -k >/dev/null 2>&1").c_str());
    ASSERT_EQ(status, 0) << "wineboot failed";
  } else {
    fs::create_directories(root / "dosdevices");
    fs::create_directories(root / "drive_c" / "users" / user / "Temp");
    fs::create_directory_symlink("../drive_c", root / "dosdevices" / "c:");
    TempPrefix::WriteFile(root / "system.reg", "WINE REGISTRY Version 2\n\n#arch=win64\n\n");
    TempPrefix::WriteFile(
        root / "user.reg",
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
        "#arch=win64\n\n[Environment] 1796731826\n#time=1dd870d1c2e6eba\n"
        "\"TEMP\"=\"C:\\\\users\\\\" +
            user + "\\\\Temp\"\n\"TMP\"=\"C:\\\\users\\\\" + user +
            "\\\\Temp\"\n\n[Volatile Environment] 1796731837\n"
            "\"USERPROFILE\"=\"C:\\\\users\\\\" +
            user + "\"\n");
  }
  SetActiveSystem(WindowsSystem(root));
  Result<RegistryKey> key = RegistryKey::Open(Hive::CurrentUser, "Environment", false);
  ASSERT_TRUE(key);
  std::optional<std::string> temp = key->ReadString("TEMP");
  ASSERT_TRUE(temp);
  std::string expected = formats::IncludeTrailingBackslash(ExpandPrefixVariables(ActiveSystem(), *temp));
  EXPECT_TRUE(expected.starts_with("C:\\users\\" + user + "\\")) << expected;
  EXPECT_EQ(GetTempFolder(), expected);
}

}  // namespace
}  // namespace sorana::platform
