// The file-system operations with Windows semantics, on both hosts; links,
// FIFOs and permissions only where the host is Linux.
#include "platform/file_system.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include "platform/crash_point.h"
#include "platform/durability.h"
#include "platform/environment.h"
#include "platform/file_tree.h"
#include "platform/windows_system.h"
#ifndef _WIN32
#include "platform/no_follow.h"
#endif
#include "support/temp_prefix.h"

namespace sorana::platform {
namespace {

namespace fs = std::filesystem;

// The errno code a call failed with; 0 when it succeeded.
template <class T>
int ErrorCode(const Result<T>& result) {
  return result ? 0 : result.error().code;
}
using test::TempPrefix;

// Names in the folder other than the test's own files (leftover temporaries).
std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FileSystemCopy, ReplacesKeepingTimeAndLeavesNoTemporary) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\a\\src.bin"), "new bytes");
  TempPrefix::WriteFile(prefix.HostC("C:\\a\\dst.bin"), "old");
  ASSERT_TRUE(SetWriteTime("C:\\a\\src.bin", 1'000'000'000));

  // The target is found without case, as on Windows.
  ASSERT_TRUE(CopyFileTo("C:\\A\\SRC.BIN", "C:\\a\\DST.bin", false));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\a\\dst.bin")), "new bytes");
  EXPECT_EQ(fs::last_write_time(prefix.HostC("C:\\a\\dst.bin")),
            fs::last_write_time(prefix.HostC("C:\\a\\src.bin")));
  EXPECT_EQ(Names(prefix.HostC("C:\\a")), (std::vector<std::string>{"dst.bin", "src.bin"}));
}

TEST(FileSystemCopy, RefusesWhatWindowsRefuses) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\a\\src"), "new");
  TempPrefix::WriteFile(prefix.HostC("C:\\a\\kept"), "old");
  TempPrefix::WriteFile(prefix.HostC("C:\\a\\locked"), "old");
  TempPrefix::MakeReadOnly(prefix.HostC("C:\\a\\locked"));

  EXPECT_EQ(ErrorCode(CopyFileTo("C:\\a\\src", "C:\\a\\kept", true)), EEXIST);
  // Refused even for root, who the host would let write.
  EXPECT_EQ(ErrorCode(CopyFileTo("C:\\a\\src", "C:\\a\\locked", false)), EACCES);
  EXPECT_EQ(ErrorCode(CopyFileTo("C:\\a\\missing", "C:\\a\\new", false)), ENOENT);
  EXPECT_FALSE(CopyFileTo("C:\\a", "C:\\a\\dir-copy", false));
  EXPECT_EQ(ErrorCode(CopyFileTo("Q:\\nowhere", "C:\\a\\x", false)), ENOENT);

  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\a\\kept")), "old");
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\a\\locked")), "old");
  EXPECT_EQ(Names(prefix.HostC("C:\\a")), (std::vector<std::string>{"kept", "locked", "src"}));

  // failIfExists with a free name copies.
  EXPECT_TRUE(CopyFileTo("C:\\a\\src", "C:\\a\\fresh", true));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\a\\fresh")), "new");
}

TEST(FileSystemDeleteRename, FollowWindowsRules) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\d\\ro.bak"), "x");
  TempPrefix::WriteFile(prefix.HostC("C:\\d\\a.doc"), "a");
  TempPrefix::WriteFile(prefix.HostC("C:\\d\\b.doc"), "b");
  TempPrefix::MakeReadOnly(prefix.HostC("C:\\d\\ro.bak"));

  EXPECT_EQ(ErrorCode(RemoveFile("C:\\d\\ro.bak")), EACCES);
  EXPECT_TRUE(fs::exists(prefix.HostC("C:\\d\\ro.bak")));
  EXPECT_FALSE(RemoveFile("C:\\d"));  // folders are not files
  EXPECT_TRUE(RemoveFile("C:\\D\\B.DOC"));
  EXPECT_FALSE(fs::exists(prefix.HostC("C:\\d\\b.doc")));

  // A rename never replaces, whatever the case of the target.
  EXPECT_EQ(ErrorCode(RenameFile("C:\\d\\a.doc", "C:\\d\\RO.BAK")), EEXIST);
  EXPECT_TRUE(RenameFile("C:\\d\\a.doc", "C:\\d\\a.BAK"));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\d\\a.BAK")), "a");
  // A change of spelling only is a rename of the file onto itself.
  EXPECT_TRUE(RenameFile("C:\\d\\a.BAK", "C:\\d\\A.bak"));
  EXPECT_EQ(Names(prefix.HostC("C:\\d")), (std::vector<std::string>{"A.bak", "ro.bak"}));
  // Read-only files may be renamed, folders too.
  EXPECT_TRUE(RenameFile("C:\\d\\ro.bak", "C:\\d\\ro.old"));
  EXPECT_TRUE(RenameFile("C:\\d", "C:\\e"));
  EXPECT_TRUE(fs::exists(prefix.HostC("C:\\e\\ro.old")));
}

TEST(FileSystemFolders, CreateWithParentsAndReportAttributes) {
  TempPrefix prefix;
  fs::create_directories(prefix.HostC("C:\\VELMORA\\New_BIN"));
  ASSERT_TRUE(ForceDirectories("C:\\velmora\\NEW_BIN\\PICVIEW\\sub\\"));
  EXPECT_TRUE(fs::is_directory(prefix.HostC("C:\\VELMORA\\New_BIN\\PICVIEW\\sub")));

  TempPrefix::WriteFile(prefix.HostC("C:\\f.txt"), "");
  EXPECT_FALSE(ForceDirectories("C:\\f.txt\\below"));
  EXPECT_EQ(ErrorCode(MakeDirectory("C:\\VELMORA")), EEXIST);

  EXPECT_TRUE(DirectoryExists("C:\\VELMORA\\"));
  EXPECT_TRUE(FileExists("C:\\F.TXT"));
  EXPECT_EQ(GetAttributes("C:\\f.txt"), kAttrArchive);

  ASSERT_TRUE(SetAttributes("C:\\f.txt", kAttrArchive | kAttrReadOnly));
  EXPECT_EQ(GetAttributes("C:\\f.txt"), kAttrArchive | kAttrReadOnly);
  EXPECT_TRUE(TempPrefix::IsReadOnly(prefix.HostC("C:\\f.txt")));
#ifndef _WIN32  // read-only is every write permission taken away
  const fs::perms anyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  EXPECT_EQ(fs::status(prefix.HostC("C:\\f.txt")).permissions() & anyWrite, fs::perms::none);
#endif
  ASSERT_TRUE(SetAttributes("C:\\f.txt", kAttrArchive));
  EXPECT_EQ(GetAttributes("C:\\f.txt"), kAttrArchive);

#ifndef _WIN32
  fs::create_directory_symlink(prefix.HostC("C:\\VELMORA"), prefix.HostC("C:\\link"));
  EXPECT_EQ(GetAttributes("C:\\link"), kAttrDirectory | kAttrReparsePoint);
#endif
}

TEST(FileSystemFind, ListsFilesAndFoldersWithAttributes) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\r\\b.TXT"), "");
  TempPrefix::WriteFile(prefix.HostC("C:\\r\\ro.txt"), "");
  TempPrefix::WriteFile(prefix.HostC("C:\\r\\c.dat"), "");
  fs::create_directories(prefix.HostC("C:\\r\\A"));
  TempPrefix::MakeReadOnly(prefix.HostC("C:\\r\\ro.txt"));

  std::vector<FindEntry> all = *FindFiles("C:\\R\\*");
  ASSERT_EQ(all.size(), 4u);
  std::vector<FindEntry> texts = *FindFiles("C:\\r\\*.txt");
  std::sort(texts.begin(), texts.end(), [](const auto& x, const auto& y) { return x.name < y.name; });
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].name, "b.TXT");
  EXPECT_EQ(texts[0].attributes, kAttrArchive);
  EXPECT_EQ(texts[1].attributes, kAttrArchive | kAttrReadOnly);
  std::vector<FindEntry> folder = *FindFiles("C:\\r\\a");
  ASSERT_EQ(folder.size(), 1u);
  EXPECT_EQ(folder[0].name, "A");
  EXPECT_EQ(folder[0].attributes, kAttrDirectory);

  EXPECT_TRUE(FindFiles("C:\\r\\*.none")->empty());
  EXPECT_EQ(ErrorCode(FindFiles("C:\\missing\\*")), ENOENT);
}

TEST(FileSystemWholeFiles, AtomicWriteKeepsModeAndRespectsReadOnly) {
  TempPrefix prefix;
  ASSERT_TRUE(WriteFileAtomic("C:\\s\\..\\new.ini", "a=1\r\n"));
  EXPECT_EQ(ReadWholeFile("C:\\NEW.INI"), "a=1\r\n");

#ifndef _WIN32  // an existing file keeps its mode
  fs::permissions(prefix.HostC("C:\\new.ini"), fs::perms::owner_read | fs::perms::owner_write);
#endif
  ASSERT_TRUE(WriteFileAtomic("C:\\new.ini", std::string("b\0c", 3)));
  EXPECT_EQ(ReadWholeFile("C:\\new.ini"), std::string("b\0c", 3));
#ifndef _WIN32
  EXPECT_EQ(fs::status(prefix.HostC("C:\\new.ini")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
#endif

  TempPrefix::MakeReadOnly(prefix.HostC("C:\\new.ini"));
  EXPECT_EQ(ErrorCode(WriteFileAtomic("C:\\new.ini", "lost")), EACCES);
  EXPECT_EQ(ReadWholeFile("C:\\new.ini"), std::string("b\0c", 3));

  EXPECT_FALSE(WriteFileAtomic("C:\\missing\\x.ini", "x"));
  EXPECT_EQ(ErrorCode(ReadWholeFile("C:\\missing.ini")), ENOENT);
  EXPECT_EQ(ErrorCode(ReadWholeFile("C:\\")), EISDIR);
#ifndef _WIN32  // nothing left beside the file; Windows' own drive C: holds more
  EXPECT_EQ(Names(prefix.DriveC()), (std::vector<std::string>{"new.ini", "windows"}));
#endif
}

TEST(FileSystemFlushToDisk, FlushesAFolderAndNamesWhyNot) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\f\\sub\\a.txt"), "a");
  EXPECT_TRUE(FlushToDisk("C:\\f\\"));
  EXPECT_EQ(ErrorCode(FlushToDisk("C:\\missing\\")), ENOENT);
  EXPECT_NE(ErrorCode(FlushToDisk("C:\\f\\sub\\a.txt\\")), 0);
}

void SetEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());  // the empty text removes it
#else
  value.empty() ? unsetenv(name) : setenv(name, value.c_str(), 1);
#endif
}

// Three removals in a child process of its own (the test program run again
// for this test alone, which reads the switch afresh); the child works in the
// parent's prefix, named by SORANA_TEST_CRASH_ROOT, and makes none of its own.
TEST(FileSystemCrashPoints, StopAtTheNthChangeOrCountThemAll) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* crashAt;
    int exitCode;
    uint64_t points;  // the counter afterwards
    int removed;
  };
  const Case cases[] = {{"2", kCrashExitCode, 2, 1}, {"", 0, 3, 3}};
  auto file = [](size_t run, int n) { return "C:\\crash" + std::to_string(run) + "\\" + std::to_string(n); };
  const std::optional<std::string> shared = EnvironmentVariable("SORANA_TEST_CRASH_ROOT");
  std::optional<TempPrefix> prefix;
  if (!shared) {
    prefix.emplace();
    for (size_t run = 0; run < std::size(cases); ++run) {
      TempPrefix::WriteFile(prefix->Root() / ("points" + std::to_string(run)), std::string(8, '\0'));
      for (int n = 1; n <= 3; ++n) TempPrefix::WriteFile(prefix->HostC(file(run, n)), "x");
    }
    SetEnvironment("SORANA_TEST_CRASH_ROOT", host::Utf8OfPath(prefix->Root()));
  }
  const fs::path root = prefix ? prefix->Root() : host::PathOfUtf8(*shared);
  for (size_t run = 0; run < std::size(cases); ++run) {
    EXPECT_EXIT(
        {
          SetEnvironment("SORANA_CRASH_POINTS", host::Utf8OfPath(root / ("points" + std::to_string(run))));
          SetEnvironment("SORANA_CRASH_AT", cases[run].crashAt);
          SetActiveSystem(WindowsSystem(root));
          for (int n = 1; n <= 3; ++n) RemoveFile(file(run, n));
          std::_Exit(0);
        },
        ::testing::ExitedWithCode(cases[run].exitCode), "");
  }
  SetEnvironment("SORANA_TEST_CRASH_ROOT", "");
  ASSERT_TRUE(prefix.has_value());
  for (size_t run = 0; run < std::size(cases); ++run) {
    SCOPED_TRACE(run);
    uint64_t points = 0;
    std::memcpy(&points, TempPrefix::ReadFile(root / ("points" + std::to_string(run))).data(), sizeof points);
    EXPECT_EQ(points, cases[run].points);
    for (int n = 1; n <= 3; ++n)
      EXPECT_EQ(fs::exists(prefix->HostC(file(run, n))), n > cases[run].removed) << n;
  }
}

#ifndef _WIN32
TEST(FileSystemWholeFiles, FifoIsRefusedWithoutBlocking) {
  TempPrefix prefix;
  ASSERT_EQ(mkfifo(prefix.HostC("C:\\pipe").c_str(), 0600), 0);
  EXPECT_EQ(ErrorCode(ReadWholeFile("C:\\pipe")), EINVAL);
  EXPECT_FALSE(CopyFileTo("C:\\pipe", "C:\\copy", false));
  EXPECT_FALSE(fs::exists(prefix.HostC("C:\\copy")));
}

// Every write that creates or replaces a file, with a symbolic link planted at
// its name: the link is replaced by a file of our own, or the write is refused;
// the file the link points to keeps its bytes and its mode.
TEST(FileSystemLinks, WritesNeverGoThroughALink) {
  TempPrefix prefix;
  const fs::path victim = prefix.Scratch() / "victim";
  TempPrefix::WriteFile(victim, "precious");
  fs::permissions(victim, fs::perms::owner_read | fs::perms::owner_write);
  TempPrefix::WriteFile(prefix.HostC("C:\\a\\src"), "new");
  fs::create_directories(prefix.HostC("C:\\a\\tree"));
  struct Case {
    const char* path;
    std::function<Status()> write;
    bool replaces;  // false: refused, the link stays
  };
  const Case cases[] = {
      {"C:\\a\\copy", [] { return CopyFileTo("C:\\a\\src", "C:\\a\\copy", false); }, true},
      {"C:\\a\\atomic", [] { return WriteFileAtomic("C:\\a\\atomic", "new"); }, true},
      {"C:\\a\\tree\\src", [] { return CopyFiles("C:\\a\\src", "C:\\a\\tree"); }, true},
      {"C:\\a\\download",
       [&] {
         Result<std::FILE*> file = host::OpenForOverwrite(prefix.HostC("C:\\a\\download"));
         return file ? Status() : file.error();
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const fs::path planted = prefix.HostC(c.path);
    fs::create_symlink(victim, planted);
    const Status written = c.write();
    EXPECT_EQ(written.has_value(), c.replaces);
    if (!c.replaces) {
      EXPECT_EQ(written.error().code, ELOOP);
    }
    EXPECT_EQ(TempPrefix::ReadFile(victim), "precious");
    EXPECT_EQ(fs::status(victim).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::is_symlink(planted), !c.replaces);
    if (c.replaces) {
      EXPECT_EQ(TempPrefix::ReadFile(planted), "new");
      EXPECT_EQ(fs::status(planted).permissions() & fs::perms::others_write, fs::perms::none);
    }
  }
  // A dangling link creates nothing where it points; a second hard link is not truncated.
  fs::create_symlink(prefix.Scratch() / "nothing", prefix.HostC("C:\\a\\dangling"));
  EXPECT_FALSE(host::OpenForOverwrite(prefix.HostC("C:\\a\\dangling")));
  EXPECT_FALSE(fs::exists(prefix.Scratch() / "nothing"));
  fs::create_hard_link(victim, prefix.HostC("C:\\a\\hard"));
  EXPECT_EQ(ErrorCode(host::OpenForOverwrite(prefix.HostC("C:\\a\\hard"))), EMLINK);
  EXPECT_EQ(TempPrefix::ReadFile(victim), "precious");
}
#endif

}  // namespace
}  // namespace sorana::platform
