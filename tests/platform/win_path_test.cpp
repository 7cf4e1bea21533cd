#include "platform/windows_system.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/temp_prefix.h"

namespace sorana::platform {
namespace {

namespace fs = std::filesystem;
using test::TempPrefix;

TEST(WinPathToHost, MatchesExistingComponentsIgnoringCase) {
  TempPrefix prefix;
  fs::create_directories(prefix.DriveC() / "VELMORA" / "SORANA" / "New_BIN");
  fs::path expected = fs::canonical(prefix.DriveC()) / "VELMORA" / "SORANA" / "New_BIN";

  EXPECT_EQ(ToHost("C:\\VELMORA\\SORANA\\NEW_BIN\\"), expected);
  EXPECT_EQ(ToHost("c:\\velmora\\sorana\\new_bin"), expected);
  EXPECT_EQ(ToHost("C:/Velmora//Sorana\\\\NEW_BIN/"), expected);
  // A missing component keeps the spelling given, below the matched ones.
  EXPECT_EQ(ToHost("C:\\velmora\\SORANA\\NEW_BIN\\plugin\\Ｘ.dll"), expected / "plugin" / "Ｘ.dll");
}

TEST(WinPathToHost, ExactSpellingWinsOverOtherCase) {
  TempPrefix prefix;
  fs::create_directories(prefix.DriveC() / "data");
  fs::create_directories(prefix.DriveC() / "DATA");
  fs::path c = fs::canonical(prefix.DriveC());
  EXPECT_EQ(ToHost("C:\\DATA"), c / "DATA");
  EXPECT_EQ(ToHost("C:\\data"), c / "data");
}

TEST(WinPathToHost, ResolvesDotsTextuallyWithinTheDrive) {
  TempPrefix prefix;
  fs::create_directories(prefix.DriveC() / "VELMORA" / "SORANA" / "New_BIN");
  fs::create_directories(prefix.DriveC() / "VELMORA" / "SORANA" / "OLD_BIN");
  fs::path sorana = fs::canonical(prefix.DriveC()) / "VELMORA" / "SORANA";

  EXPECT_EQ(ToHost("C:\\VELMORA\\SORANA\\OLD_BIN\\..\\NEW_BIN\\"), sorana / "New_BIN");
  // ".." below a folder that does not exist yet still resolves.
  EXPECT_EQ(ToHost("C:\\VELMORA\\SORANA\\missing\\..\\.\\OLD_BIN"), sorana / "OLD_BIN");
  // Never above the drive root.
  EXPECT_EQ(ToHost("C:\\..\\..\\VELMORA"), fs::canonical(prefix.DriveC()) / "VELMORA");
  EXPECT_EQ(ToHost("C:\\"), fs::canonical(prefix.DriveC()));
  EXPECT_EQ(ToHost("C:"), fs::canonical(prefix.DriveC()));
}

TEST(WinPathToHost, FollowsDriveLinks) {
  TempPrefix prefix;
  EXPECT_EQ(ToHost("Z:\\tmp"), fs::path("/tmp"));
  EXPECT_EQ(ToHost("z:/"), fs::path("/"));
  // A drive pointing at a folder elsewhere.
  fs::create_directories(prefix.Scratch() / "disk");
  fs::create_directory_symlink(prefix.Scratch() / "disk", prefix.Root() / "dosdevices" / "d:");
  EXPECT_EQ(ToHost("D:\\x"), fs::canonical(prefix.Scratch() / "disk") / "x");
}

TEST(WinPathToHost, RejectsPathsWithoutAKnownDrive) {
  TempPrefix prefix;
  EXPECT_FALSE(ToHost("Q:\\x"));
  EXPECT_FALSE(ToHost("relative\\x"));
  EXPECT_FALSE(ToHost("\\VELMORA"));
  EXPECT_FALSE(ToHost("C:VELMORA"));
  EXPECT_FALSE(ToHost(""));
  EXPECT_FALSE(ToHost("1:\\x"));
  // A drive whose target vanished.
  fs::create_directory_symlink(prefix.Scratch() / "gone", prefix.Root() / "dosdevices" / "e:");
  EXPECT_FALSE(ToHost("E:\\"));
}

TEST(WinPathToWindows, UsesTheDeepestDrive) {
  TempPrefix prefix;
  const WindowsSystem& active = ActiveSystem();
  fs::create_directories(prefix.DriveC() / "windows" / "temp");
  EXPECT_EQ(active.ToWindows(prefix.DriveC() / "windows" / "temp"), "C:\\windows\\temp");
  EXPECT_EQ(active.ToWindows(prefix.DriveC()), "C:\\");
  EXPECT_EQ(active.ToWindows("/tmp/a b/c"), "Z:\\tmp\\a b\\c");
  EXPECT_EQ(active.ToWindows("/"), "Z:\\");

  fs::remove(prefix.Root() / "dosdevices" / "z:");
  EXPECT_FALSE(active.ToWindows("/usr"));
}

TEST(WinPathPrefix, EnvironmentAndActivePrefix) {
  const char* saved = std::getenv("WINEPREFIX");
  std::string savedValue = saved ? saved : "";
  const char* savedHome = std::getenv("HOME");
  std::string savedHomeValue = savedHome ? savedHome : "";
  setenv("WINEPREFIX", "/some/prefix", 1);
  EXPECT_EQ(WindowsSystem::FromEnvironment().Root(), fs::path("/some/prefix"));
  setenv("WINEPREFIX", "", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(WindowsSystem::FromEnvironment().Root(), fs::path("/home/someone/.wine"));
  if (saved) {
    setenv("WINEPREFIX", savedValue.c_str(), 1);
  } else {
    unsetenv("WINEPREFIX");
  }
  if (savedHome) setenv("HOME", savedHomeValue.c_str(), 1);

  // A reference kept by a caller follows a later change of prefix.
  const WindowsSystem& active = ActiveSystem();
  SetActiveSystem(WindowsSystem("/first"));
  SetActiveSystem(WindowsSystem("/second"));
  EXPECT_EQ(active.Root(), fs::path("/second"));
}

}  // namespace
}  // namespace sorana::platform
