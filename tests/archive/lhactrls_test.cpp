// The run-time binding: without the library, with stand-ins lacking exports or
// echoing the command line, and with the real library found by its bare name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "archive/lhactrls.h"
#include "archive/lhactrls_testing.h"
#include "formats/cp932.h"
#include "support/temp_prefix.h"
#include "unlha32/lha_writer.h"

namespace sorana::archive {
namespace {

using sorana::test::TempPrefix;

class LhactrlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPanicHandler([this](std::string_view text) { boxes.emplace_back(text); });
  }
  void TearDown() override {
    UnloadLhaLibrary();
    SetPanicHandler(nullptr);
  }
  std::vector<std::string> boxes;
};

TEST_F(LhactrlsTest, WithoutTheLibraryExtractionShowsOneBoxAndFails) {
  LoadLhaLibraryFrom("/nonexistent/libunlha32.so");
  EXPECT_FALSE(IsLhaLibraryLoaded());
  EXPECT_TRUE(boxes.empty());  // nothing is reported at start

  EXPECT_EQ(ExtractLha("C:\\tmp\\corins.lzh", "C:\\root"), kLhaNotLoaded);
  EXPECT_EQ(boxes, (std::vector<std::string>{"Unlha: LHA.DLL not loaded."}));
  EXPECT_EQ(LastLhaOutput(), "");
  EXPECT_EQ(CallUnlhaGetVersion(), 0);
  EXPECT_EQ(boxes.back(), "UnlhaGetVersion: LHA.DLL not loaded.");
}

TEST_F(LhactrlsTest, LibraryLackingExportsIsUsedForTheOthers) {
  LoadLhaLibraryFrom(SORANA_STAND_IN_PARTIAL);
  ASSERT_TRUE(IsLhaLibraryLoaded());
  EXPECT_EQ(EntryNames().size(), 41u);
  EXPECT_STREQ(EntryNames()[9], "Unlha");
  EXPECT_STREQ(EntryNames()[40], "UnlhaClearOwnerWindow");
  EXPECT_TRUE(IsEntryBound("UnlhaGetVersion"));
  EXPECT_FALSE(IsEntryBound("Unlha"));
  EXPECT_EQ(CallUnlhaGetVersion(), 42);
  EXPECT_TRUE(boxes.empty());

  EXPECT_EQ(ExtractLha("C:\\a.lzh", "C:\\b"), kLhaNotLoaded);
  EXPECT_EQ(boxes, (std::vector<std::string>{"Unlha: LHA.DLL not loaded."}));

  UnloadLhaLibrary();  // slots return to their fall-backs
  EXPECT_FALSE(IsEntryBound("UnlhaGetVersion"));
}

TEST_F(LhactrlsTest, CommandLineIsBuiltByteForByte) {
  LoadLhaLibraryFrom(SORANA_STAND_IN_ECHO);
  ASSERT_TRUE(IsEntryBound("Unlha"));
  EXPECT_EQ(ExtractLha("C:\\TEMP\\SorNewUp\\corins.lzh", "C:\\root"), 7);
  EXPECT_EQ(LastLhaOutput(), "254|e -jyc -jyo \"C:\\TEMP\\SorNewUp\\corins.lzh\" -d1 -c1 \"C:\\root\\\"");

  ExtractLha("C:\\Documents and Settings\\a b.lzh", "C:\\Program Files\\VELMORA\\SORANA\\New_BIN");
  EXPECT_EQ(LastLhaOutput(),
            "254|e -jyc -jyo \"C:\\Documents and Settings\\a b.lzh\" -d1 -c1 "
            "\"C:\\Program Files\\VELMORA\\SORANA\\New_BIN\\\"");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LhactrlsTest, RealLibraryIsFoundByBareNameAndExtracts) {
  TempPrefix prefix;
#ifndef _WIN32
  setenv("WINEPREFIX", prefix.Root().c_str(), 1);
#endif
  unlha32::LhaWriter writer;
  // Stored as an archiver on Windows stores it: CP932, where "ソ" ends in 0x5C.
  writer.AddFile(formats::Utf8ToCp932("corins\\ソラナギ.ini").value(), "[x]\r\n", 0,
                 unlha32::HeaderLevel::kLevel0);
  TempPrefix::WriteFile(prefix.HostC("C:\\temp\\corins.lzh"), writer.Finish());

  LoadLhaLibrary();
  ASSERT_TRUE(IsLhaLibraryLoaded());
  for (const char* name : EntryNames()) {
    std::string_view entry = name;
    bool exported = entry == "Unlha" || entry == "UnlhaGetVersion" || entry == "UnlhaCheckArchive";
    EXPECT_EQ(IsEntryBound(entry), exported) << entry;
  }
  // The folder's name reaches the library intact: CP932 on Windows, where "ソ"
  // ends in the byte of a backslash.
  EXPECT_EQ(ExtractLha("C:\\temp\\corins.lzh", "C:\\ソラナギ\\Root"), 0) << LastLhaOutput();
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\ソラナギ\\Root\\corins\\ソラナギ.ini")), "[x]\r\n");
  EXPECT_EQ(LastLhaOutput(), "1 file extracted");
#ifdef _WIN32
  // A path the ANSI code page cannot hold never reaches the library garbled.
  EXPECT_EQ(ExtractLha("C:\\temp\\corins.lzh", "C:\\\xC4\x80"), kLhaPathNotAnsi);
#endif

  // A failure comes back unchanged, its message in the output.
  EXPECT_EQ(ExtractLha("C:\\temp\\missing.lzh", "C:\\Root"), 0x8018);
  EXPECT_NE(LastLhaOutput().find("missing.lzh"), std::string::npos) << LastLhaOutput();
  EXPECT_TRUE(boxes.empty());
#ifndef _WIN32
  unsetenv("WINEPREFIX");
#endif
}

}  // namespace
}  // namespace sorana::archive
