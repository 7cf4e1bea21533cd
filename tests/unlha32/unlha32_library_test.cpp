// libunlha32.so / UNLHA32.DLL as a program loads it: its three exports (plain
// __stdcall names on Windows), the command line the binding builds, Windows
// paths (through WINEPREFIX on Linux), and the output buffer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/library.h"
#include "support/temp_prefix.h"
#include "unlha32/lha_writer.h"
#include "unlha32/unlha32.h"

namespace {

namespace fs = std::filesystem;
namespace platform = sorana::platform;
using sorana::test::TempPrefix;

using UnlhaFn = int(UNLHA32_CALL*)(void*, const char*, char*, unsigned long);
using CheckFn = int(UNLHA32_CALL*)(const char*, int);
using VersionFn = unsigned short(UNLHA32_CALL*)();

class UnlhaLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // On Windows a bare name: the copy beside the test program.
    handle = platform::OpenLibraryAt(SORANA_UNLHA32_PATH);
    ASSERT_NE(handle, nullptr) << SORANA_UNLHA32_PATH;
    unlha = reinterpret_cast<UnlhaFn>(platform::LibrarySymbol(handle, "Unlha"));
    check = reinterpret_cast<CheckFn>(platform::LibrarySymbol(handle, "UnlhaCheckArchive"));
    version = reinterpret_cast<VersionFn>(platform::LibrarySymbol(handle, "UnlhaGetVersion"));
    ASSERT_TRUE(unlha && check && version);
#ifndef _WIN32
    // The library's own copy of the host layer finds the prefix through the environment.
    setenv("WINEPREFIX", prefix.Root().c_str(), 1);
#endif

    unlha32::LhaWriter writer;
    writer.AddFile("help\\index.htm", "<html>help</html>", 0, unlha32::HeaderLevel::kLevel0);
    writer.AddFile("top.txt", "top");
    TempPrefix::WriteFile(prefix.HostC("C:\\Temp Files\\SorNewUp\\help archive.lzh"), writer.Finish());
  }
  void TearDown() override {
#ifndef _WIN32
    unsetenv("WINEPREFIX");
#endif
    platform::CloseLibrary(handle);
  }

  TempPrefix prefix;
  platform::LibraryHandle handle = nullptr;
  UnlhaFn unlha = nullptr;
  CheckFn check = nullptr;
  VersionFn version = nullptr;
};

TEST_F(UnlhaLibraryTest, ExportsOnlyItsThreeEntries) {
  EXPECT_EQ(version(), 100);
  const char* hidden[] = {
      "_ZN7unlha3214ExtractArchiveESt17basic_string_viewIcSt11char_traitsIcEEPKNS_"
      "11DestinationERKNS_14ExtractOptionsE",
      "_ZN6sorana8platform6ToHostESt17basic_string_viewIcSt11char_traitsIcEE",
      "Unlha@16",  // the decorated __stdcall names
      "_Unlha@16",
  };
  for (const char* name : hidden) EXPECT_EQ(platform::LibrarySymbol(handle, name), nullptr) << name;
}

TEST_F(UnlhaLibraryTest, ExtractsTheBindingsCommandLineWithBlanksInBothPaths) {
  fs::create_directories(prefix.HostC("C:\\velmora\\sorana\\new_bin"));
  char output[255];
  std::memset(output, 'x', sizeof output);
  const char* line =
      "e -jyc -jyo \"C:\\Temp Files\\SorNewUp\\help archive.lzh\" -d1 -c1 \"C:\\VELMORA\\SORANA\\NEW_BIN\\\"";
  ASSERT_EQ(unlha(nullptr, line, output, 254), UNLHA_OK) << output;
  EXPECT_STREQ(output, "2 files extracted");
  fs::path bin = prefix.HostC("C:\\velmora\\sorana\\new_bin");
  EXPECT_EQ(TempPrefix::ReadFile(bin / "help" / "index.htm"), "<html>help</html>");
  EXPECT_EQ(TempPrefix::ReadFile(bin / "top.txt"), "top");
  EXPECT_EQ(check("C:\\Temp Files\\SorNewUp\\help archive.lzh", 0), 1);
  EXPECT_EQ(check("C:\\Temp Files\\SorNewUp\\missing.lzh", 0), 0);
}

TEST_F(UnlhaLibraryTest, MessagesStayInsideTheBuffer) {
  const char* unknown = "l \"C:\\a.lzh\" \"C:\\b\\\"";
  char output[16];
  std::memset(output, 'x', sizeof output);
  EXPECT_EQ(unlha(nullptr, unknown, output, 8), UNLHA_ERROR_COMMAND_NAME);
  EXPECT_EQ(std::string(output), "unknown");  // seven bytes and the NUL
  EXPECT_EQ(output[8], 'x');

  std::memset(output, 'x', sizeof output);
  EXPECT_EQ(unlha(nullptr, unknown, output, 0), UNLHA_ERROR_COMMAND_NAME);
  EXPECT_EQ(output[0], 'x');
  EXPECT_EQ(unlha(nullptr, unknown, nullptr, 100), UNLHA_ERROR_COMMAND_NAME);
  EXPECT_EQ(unlha(nullptr, nullptr, output, sizeof output), UNLHA_ERROR_COMMAND_NAME);

  EXPECT_EQ(unlha(nullptr, "e \"C:\\nowhere\\a.lzh\" \"C:\\out\\\"", output, sizeof output),
            UNLHA_ERROR_ARC_FILE_OPEN);
  EXPECT_EQ(unlha(nullptr, "e \"Q:\\a.lzh\" \"C:\\out\\\"", output, sizeof output),
            UNLHA_ERROR_ARC_FILE_OPEN);
}

}  // namespace
