// The Win32 host where it differs from the Wine-prefix host: the system's own
// name matching, read-only attributes, the registry API, the shell's file
// operations, processes and the system's folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/file_system.h"
#include "platform/file_tree.h"
#include "platform/folders.h"
#include "platform/input_file.h"
#include "platform/library.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/win32/windows_api.h"
#include "platform/windows_system.h"
#include "support/temp_prefix.h"

namespace sorana::platform {
namespace {

namespace fs = std::filesystem;
using test::TempPrefix;

std::vector<std::string> Names(std::string_view pattern) {
  std::vector<std::string> names;
  for (const FindEntry& entry : FindFiles(pattern).value_or(std::vector<FindEntry>{}))
    names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Win32Files, JapaneseNamesAndAnyCaseReachTheSameFiles) {
  TempPrefix prefix;
  const std::string folder = "C:\\VELMORA\\ソラナギ\\New_BIN\\";
  ASSERT_TRUE(ForceDirectories(folder + "ヘルプ"));
  ASSERT_TRUE(WriteFileAtomic(folder + "電子納品.ini", "\x83\x5C"));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC(folder + "電子納品.ini")), "\x83\x5C");
  {
    host::InputFile in(prefix.HostC(folder + "電子納品.ini"));
    ASSERT_TRUE(in.Ok());
    EXPECT_EQ(in.Size().value_or(-1), 2);
    char byte = 0;
    ASSERT_TRUE(in.Seek(1));
    EXPECT_EQ(in.Read(&byte, 8).value_or(99), 1u);
    EXPECT_EQ(byte, '\x5C');
    EXPECT_EQ(in.Read(&byte, 8).value_or(99), 0u);
    host::InputFile none(prefix.HostC(folder + "none.ini"));
    EXPECT_FALSE(none.Ok());
    EXPECT_EQ(none.Error().code, ENOENT);
    EXPECT_EQ(none.Error().system, 2u);  // ERROR_FILE_NOT_FOUND, as the system said it
    // A writer dropped uncommitted leaves nothing behind (the listing below).
    host::AtomicFile dropped(prefix.HostC(folder + "dropped.ini"));
    ASSERT_TRUE(dropped.Ok());
    EXPECT_TRUE(dropped.Write("x", 1));
  }
  // NEW_BIN is the folder New_BIN: the copy lands beside the first file.
  ASSERT_TRUE(CopyFileTo("C:\\velmora\\ソラナギ\\NEW_BIN\\電子納品.ini",
                         "C:\\VELMORA\\ソラナギ\\NEW_BIN\\copy.ini", true));
  EXPECT_EQ(Names("C:\\VELMORA\\ソラナギ\\*"), (std::vector<std::string>{"New_BIN"}));
  EXPECT_EQ(Names(folder + "*.*"), (std::vector<std::string>{"copy.ini", "ヘルプ", "電子納品.ini"}));
  EXPECT_EQ(ReadWholeFile("C:\\VELMORA\\ソラナギ\\new_bin\\COPY.INI").value_or(""), "\x83\x5C");
  EXPECT_TRUE(RenameFile(folder + "copy.ini", folder + "COPY.INI"));  // a change of spelling only
  EXPECT_EQ(Names(folder + "c*"), (std::vector<std::string>{"COPY.INI"}));
  EXPECT_TRUE(DirectoryExists("C:\\VELMORA\\ソラナギ\\NEW_BIN\\ヘルプ"));
  ASSERT_TRUE(SetWriteTime(folder + "COPY.INI", 1700000000));
  EXPECT_EQ(std::chrono::floor<std::chrono::seconds>(
                std::chrono::file_clock::to_sys(fs::last_write_time(prefix.HostC(folder + "COPY.INI")))),
            std::chrono::sys_seconds(std::chrono::seconds(1700000000)));
  // A name no drive holds.
  Result<std::string> missing = ReadWholeFile("C:\\VELMORA\\none\\x.ini");
  EXPECT_FALSE(missing);
  EXPECT_EQ(missing.error().code, ENOENT);
}

// An install root on a network share is a path like any other; ".." stays on
// its share, and the device namespaces are refused.
TEST(Win32Files, NetworkPathsMapToTheirShare) {
  struct Case {
    const char* path;
    const wchar_t* host;  // nullptr: refused
  } cases[] = {
      {"\\\\server\\share\\SORANA\\OLD_BIN\\..\\New_BIN\\x.exe",
       L"\\\\server\\share\\SORANA\\New_BIN\\x.exe"},
      {"\\\\server\\share\\..\\..\\x", L"\\\\server\\share\\x"},
      {"//server/share/", L"\\\\server\\share"},
      {"\\\\?\\C:\\x", nullptr},
      {"\\\\.\\C:", nullptr},
      {"\\\\server", nullptr},
      {"\\\\\\share\\x", nullptr},
  };
  for (const Case& c : cases) {
    std::optional<fs::path> host = ToHost(c.path);
    if (c.host == nullptr) {
      EXPECT_FALSE(host) << c.path;
    } else {
      ASSERT_TRUE(host) << c.path;
      EXPECT_EQ(host->native(), c.host) << c.path;
    }
  }
}

TEST(Win32Files, ReadOnlyFilesAreRefusedUntilTheTreeIsReset) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\ro\\sub\\locked.ini"), "old");
  TempPrefix::WriteFile(prefix.HostC("C:\\ro\\src.ini"), "new");
  TempPrefix::MakeReadOnly(prefix.HostC("C:\\ro\\sub\\locked.ini"));
  TempPrefix::MakeReadOnly(prefix.HostC("C:\\ro\\sub"));
  const std::string locked = "C:\\ro\\sub\\locked.ini";
  // Each refusal carries the errno the core decides by, as on the Linux host,
  // and the system's own number the failure box shows.
  struct Refusal {
    const char* what;
    Status done;
    int expected;
    unsigned long system;
  };
  for (const Refusal& r :
       {Refusal{"copy", CopyFileTo("C:\\ro\\src.ini", locked, false), EACCES, ERROR_ACCESS_DENIED},
        Refusal{"copy, kept", CopyFileTo("C:\\ro\\src.ini", locked, true), EEXIST, ERROR_FILE_EXISTS},
        Refusal{"delete", RemoveFile(locked), EACCES, ERROR_ACCESS_DENIED},
        Refusal{"write", WriteFileAtomic(locked, "x"), EACCES, ERROR_ACCESS_DENIED},
        Refusal{"no folder", WriteFileAtomic("C:\\ro\\none\\x.ini", "x"), ENOENT, ERROR_FILE_NOT_FOUND},
        Refusal{"no source", CopyFileTo("C:\\ro\\no.ini", "C:\\ro\\n.ini", false), ENOENT,
                ERROR_FILE_NOT_FOUND},
        Refusal{"rename onto", RenameFile("C:\\ro\\src.ini", locked), EEXIST, ERROR_ALREADY_EXISTS},
        Refusal{"folder", RemoveFile("C:\\ro\\sub"), EISDIR, ERROR_ACCESS_DENIED},
        Refusal{"profile", StoreProfileString(locked, "s", "k", "v"), EACCES, ERROR_ACCESS_DENIED}}) {
    EXPECT_FALSE(r.done) << r.what;
    EXPECT_EQ(r.done.error().code, r.expected) << r.what;
    EXPECT_EQ(r.done.error().system, r.system) << r.what;
  }
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC(locked)), "old");
  EXPECT_EQ(GetAttributes(locked).value_or(0) & kAttrReadOnly, kAttrReadOnly);

  // The system lists "." and "..": they clear a folder and its parent. A No
  // after a failed change ends the walk of that folder only.
  TempPrefix::WriteFile(prefix.HostC("C:\\ro\\sub\\later.ini"), "");
  TempPrefix::MakeReadOnly(prefix.HostC("C:\\ro\\sub\\later.ini"));
  TempPrefix::MakeReadOnly(prefix.HostC("C:\\ro\\src.ini"));
  std::vector<std::string> tried;
  int asked = 0;
  ResetReadOnly(
      "C:\\ro\\", [&] { return ++asked, false; },
      [&](std::string_view path, uint32_t attributes) -> Status {
        tried.emplace_back(path);
        if (path.find("\\sub\\") != std::string_view::npos) return ErrnoError(EACCES);
        return SetAttributes(path, attributes);
      });
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(std::count_if(tried.begin(), tried.end(),
                          [](const std::string& p) { return p.find("\\sub\\") != p.npos; }),
            1);
  EXPECT_EQ(GetAttributes("C:\\ro\\src.ini").value_or(kAttrReadOnly) & kAttrReadOnly, 0u);

  ResetReadOnly("C:\\ro\\", [&] { return ++asked, true; });
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(GetAttributes(locked).value_or(kAttrReadOnly) & kAttrReadOnly, 0u);
  EXPECT_EQ(GetAttributes("C:\\ro\\sub").value_or(kAttrReadOnly) & kAttrReadOnly, 0u);
  EXPECT_TRUE(WriteFileAtomic(locked, "x"));
  EXPECT_TRUE(RemoveFile(locked));
  EXPECT_EQ(Names("C:\\ro\\sub\\*"), std::vector<std::string>{"later.ini"});  // no temporary left
}

TEST(Win32FileTree, ShellMovesAndCopiesWithoutAsking) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\root\\a.exe"), "a");
  TempPrefix::WriteFile(prefix.HostC("C:\\root\\Template\\国土\\t.doc"), "t");
  TempPrefix::WriteFile(prefix.HostC("C:\\root\\OLD_BIN\\a.exe"), "stale");
  ASSERT_TRUE(CopyFiles(std::string("C:\\root\\Template\0", 18), "C:\\root\\New_BIN"));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\root\\New_BIN\\Template\\国土\\t.doc")), "t");
  // The first-update move: every entry of the root (as listed) into OLD_BIN.
  std::string list = ListFolderEntries("C:\\root\\a*");
  EXPECT_EQ(list, std::string("C:\\root\\a.exe\0", 14));
  ASSERT_TRUE(MoveFiles(list, "C:\\root\\OLD_BIN"));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\root\\OLD_BIN\\a.exe")), "a");
  EXPECT_FALSE(FileExists("C:\\root\\a.exe"));
  // Wildcards, into a destination that does not exist yet.
  ASSERT_TRUE(MoveFiles(std::string("C:\\root\\OLD_BIN\\*.exe\0", 22), "C:\\root\\fresh\\bin"));
  EXPECT_EQ(Names("C:\\root\\fresh\\bin\\*"), (std::vector<std::string>{"a.exe"}));
  EXPECT_EQ(ExpandFolderPath("C:\\root\\OLD_BIN\\..\\New_BIN\\"), "C:\\root\\New_BIN\\");
  EXPECT_EQ(ExpandFolderPath("C:\\root\\New_BIN"), "C:\\root\\New_BIN\\");
}

TEST(Win32Registry, JapaneseKeysAndValuesReadBack) {
  // scripts/windows reads this value back with wine reg query after the run.
  const std::string subKey = "Software\\SoranaWindowsTest\\ソラナギ";
  const std::string exename = "C:\\VELMORA\\ソラナギ\\New_BIN\\電子納品.exe";
  Result<RegistryKey> missing = RegistryKey::Open(Hive::CurrentUser, subKey + "\\missing", false);
  EXPECT_FALSE(missing);
  EXPECT_EQ(missing.error().code, ENOENT);
  Result<RegistryKey> key = RegistryKey::Open(Hive::CurrentUser, subKey, true);
  ASSERT_TRUE(key);
  ASSERT_TRUE(key->WriteString("Exename", exename));
  ASSERT_TRUE(key->WriteBinary("ReadOption", {0x01, 0x00, 0xFF}));
  ASSERT_TRUE(key->WriteString("空", ""));

  Result<RegistryKey> again =
      RegistryKey::Open(Hive::CurrentUser, "SOFTWARE\\soranawindowstest\\ソラナギ", false);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->ReadString("EXENAME"), exename);
  EXPECT_EQ(again->ReadString("空"), "");
  EXPECT_FALSE(again->ReadString("ReadOption"));  // binary is no text
  EXPECT_FALSE(again->ReadString("missing"));

  // The machine hive, in the 32-bit view the program sees by itself.
  Result<RegistryKey> machine = RegistryKey::Open(Hive::LocalMachine, "Software\\SoranaWindowsTest", true);
  ASSERT_TRUE(machine);
  ASSERT_TRUE(machine->WriteString("Exename", exename));
  EXPECT_EQ(
      RegistryKey::Open(Hive::LocalMachine, "Software\\SoranaWindowsTest", false)->ReadString("Exename"),
      exename);
}

TEST(Win32Process, RunsAndWaitsPumpingMessages) {
  TempPrefix prefix;
  const std::string cmd = GetWindowsFolder() + "\\system32\\cmd.exe";
  ProcessWait wait{.pump = [](int) {}, .keepWaiting = {}, .bound = std::chrono::seconds(60)};
  EXPECT_EQ(RunAndWait("\"" + cmd + "\" /c echo ran> C:\\ran.txt", wait), RunOutcome::Exited);
  EXPECT_TRUE(FileExists("C:\\ran.txt"));
  EXPECT_EQ(RunAndWait("\"C:\\missing\\regsvr32.exe\" /s x.ocx", wait), RunOutcome::NotStarted);
  EXPECT_EQ(RunAndWait("", wait), RunOutcome::NotStarted);

  // A program that never ends is stopped at the bound, and so is the program it started.
  const auto start = std::chrono::steady_clock::now();
  wait.bound = std::chrono::milliseconds(1500);
  EXPECT_EQ(RunAndWait("\"" + cmd + "\" /c \"" + cmd + "\" /c for /l %i in (0,0,1) do @echo x>> C:\\tick.txt",
                       wait),
            RunOutcome::Ended);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  ASSERT_TRUE(fs::exists(prefix.HostC("C:\\tick.txt")));
  const auto ticks = fs::file_size(prefix.HostC("C:\\tick.txt"));
  Sleep(500);
  EXPECT_EQ(fs::file_size(prefix.HostC("C:\\tick.txt")), ticks);
}

TEST(Win32Folders, ComeFromTheSystem) {
  const std::string windows = GetWindowsFolder();
  ASSERT_GE(windows.size(), 3u);
  EXPECT_EQ(windows[1], ':');
  EXPECT_NE(windows.back(), '\\');
  EXPECT_TRUE(DirectoryExists(windows));
  const std::string temp = GetTempFolder();
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_NE(temp[temp.size() - 2], '\\');
  EXPECT_EQ(temp.find('~'), std::string::npos);  // the long form
  EXPECT_TRUE(DirectoryExists(temp));
}

TEST(Win32Library, BareNameLoadsAndBindsExports) {
  LibraryHandle kernel = OpenLibrary("kernel32");  // as "KERNEL32.DLL"
  ASSERT_NE(kernel, nullptr);
  EXPECT_NE(LibrarySymbol(kernel, "GetTickCount"), nullptr);
  EXPECT_EQ(LibrarySymbol(kernel, "NoSuchExport"), nullptr);
  CloseLibrary(kernel);
  EXPECT_EQ(OpenLibrary("no_such_library"), nullptr);
  EXPECT_EQ(LibrarySymbol(nullptr, "GetTickCount"), nullptr);
}

}  // namespace
}  // namespace sorana::platform
