#include "platform/profile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "formats/cp932.h"
#include "formats/profile_text.h"
#include "support/temp_prefix.h"

namespace sorana::platform {
namespace {

using test::TempPrefix;

std::string Cp932(std::string_view utf8) { return formats::Utf8ToCp932(utf8).value(); }

std::string Lookup(std::string_view contents, std::string_view section, std::string_view key) {
  bool found = false;
  std::string value = formats::ProfileLookup(contents, section, key, &found);
  return found ? value : "<missing>";
}

TEST(ProfileLookup, FindsEntriesLikeWindows) {
  const std::string contents = Cp932(
      "top=outside\r\n"
      "; comment=no\r\n"
      "[PULUGINLIST]\r\n"
      "国土交通省電子納品基準=1\r\n"
      "  Spaced Key  =  padded value  \r\n"
      "quoted=\"a b\"\r\n"
      "dup=first\r\n"
      "dup=second\r\n"
      "\r\n"
      "[other]\r\n"
      "only=here\r\n"
      "[puluginlist]\r\n"
      "late=ignored\r\n");
  EXPECT_EQ(Lookup(contents, "PULUGINLIST", "国土交通省電子納品基準"), "1");
  EXPECT_EQ(Lookup(contents, "puluginList", "SPACED key"), "padded value");
  EXPECT_EQ(Lookup(contents, "PULUGINLIST", "quoted"), "a b");
  EXPECT_EQ(Lookup(contents, "PULUGINLIST", "dup"), "first");
  EXPECT_EQ(Lookup(contents, "other", "only"), "here");
  // Only the first section of a name counts; entries before any section are in none.
  EXPECT_EQ(Lookup(contents, "PULUGINLIST", "late"), "<missing>");
  EXPECT_EQ(Lookup(contents, "PULUGINLIST", "top"), "<missing>");
  EXPECT_EQ(Lookup(contents, "PULUGINLIST", "; comment"), "<missing>");
  EXPECT_EQ(Lookup(contents, "missing", "only"), "<missing>");
}

TEST(ProfileLookup, DoubleByteNamesAreNotCaseFolded) {
  // ア is 0x83 0x41 and チ is 0x83 0x60; folding their second byte as ASCII
  // would make ア match 0x83 0x61 (ヂ).
  const std::string contents = Cp932("[s]\nヂ=wrong\nア=right\n");
  EXPECT_EQ(Lookup(contents, "s", "ア"), "right");
  // A section name whose character has ']' as its second byte (ゾ is 0x83 0x5D).
  EXPECT_EQ(Lookup(Cp932("[ゾ]\nk=v\n"), "ゾ", "k"), "v");
  EXPECT_EQ(Lookup(Cp932("[ゾ]\nk=v\n"), "ゾ]", "k"), "<missing>");
}

TEST(ProfileLookup, SurvivesBytesThatAreNotCp932) {
  const std::string contents = "[s]\r\n\x85\xFF\xFD=x\r\nk=\x82\r\nok=yes\r\n[\xFF\r\n";
  EXPECT_EQ(Lookup(contents, "s", "ok"), "yes");
  EXPECT_EQ(Lookup(contents, "s", "k"), "<missing>");
  EXPECT_EQ(Lookup("", "s", "k"), "<missing>");
  EXPECT_EQ(Lookup("[", "s", "k"), "<missing>");
  EXPECT_EQ(Lookup("[s]\n=", "s", ""), "");
}

TEST(ProfileWithEntry, ReplacesOnlyTheValue) {
  const std::string before = "; header\r\n[A]\r\nKey = old ; tail\r\nx=1\r\n\r\n[B]\nkey=other\n";
  EXPECT_EQ(formats::ProfileWithEntry(before, "a", "KEY", "new"),
            "; header\r\n[A]\r\nKey =new\r\nx=1\r\n\r\n[B]\nkey=other\n");
  // Without a final line break.
  EXPECT_EQ(formats::ProfileWithEntry("[A]\nk=1", "A", "k", "22"), "[A]\nk=22");
}

TEST(ProfileWithEntry, AddsKeyAtTheEndOfItsSection) {
  EXPECT_EQ(formats::ProfileWithEntry("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", "A", "k", "v"),
            "[A]\r\nx=1\r\nk=v\r\n\r\n[B]\r\ny=2\r\n");
  EXPECT_EQ(formats::ProfileWithEntry("[A]\nx=1\n[B]\n", "b", "k", "v"), "[A]\nx=1\n[B]\nk=v\n");
  // The last line of the file had no line break and keeps having none.
  EXPECT_EQ(formats::ProfileWithEntry("[A]\r\nx=1", "A", "k", "v"), "[A]\r\nx=1\r\nk=v");
  // A last line ending in a lone CR is ended first, so the entry reads back.
  std::string loneCr = formats::ProfileWithEntry("[S]\nx=1\r", "S", "k", "v");
  EXPECT_EQ(loneCr, "[S]\nx=1\r\nk=v");
  bool found = false;
  EXPECT_EQ(formats::ProfileLookup(loneCr, "S", "k", &found), "v");
  EXPECT_TRUE(found);
  // Japanese names are stored in CP932.
  EXPECT_EQ(formats::ProfileWithEntry("[PULUGINLIST]\r\n", "PULUGINLIST", "ソラナギ", "0"),
            "[PULUGINLIST]\r\n" + Cp932("ソラナギ") + "=0\r\n");
}

TEST(ProfileWithEntry, AddsMissingSectionAtTheEnd) {
  EXPECT_EQ(formats::ProfileWithEntry("", "S", "k", "v"), "[S]\r\nk=v\r\n");
  EXPECT_EQ(formats::ProfileWithEntry("[A]\nx=1\n", "S", "k", "v"), "[A]\nx=1\n\n[S]\nk=v\n");
  EXPECT_EQ(formats::ProfileWithEntry("[A]\r\nx=1", "S", "k", "v"), "[A]\r\nx=1\r\n\r\n[S]\r\nk=v\r\n");
  EXPECT_EQ(formats::ProfileWithEntry("[A]\nx=1\n\n", "S", "k", "v"), "[A]\nx=1\n\n[S]\nk=v\n");
  // A last line ending in lone CRs keeps its value when a section follows it.
  std::string loneCr = formats::ProfileWithEntry("[A]\r\nx=1\r\r", "S", "k", "v");
  bool found = false;
  EXPECT_EQ(formats::ProfileLookup(loneCr, "A", "x", &found), "1\r");
  EXPECT_EQ(formats::ProfileLookup("[A]\r\nx=1\r\r", "A", "x", &found), "1\r");
}

TEST(ProfileWithEntry, RefusesEntriesThatWouldReadBackDifferently) {
  const std::string before = "[A]\nk=1\n";
  EXPECT_EQ(formats::ProfileWithEntry(before, "A", "k", "1\n[B]"), before);
  EXPECT_EQ(formats::ProfileWithEntry(before, "A", "k=x", "1"), before);
  EXPECT_EQ(formats::ProfileWithEntry(before, "A", "", "1"), before);
  EXPECT_EQ(formats::ProfileWithEntry(before, "A]", "k", "1"), before);
  EXPECT_EQ(formats::ProfileWithEntry(before, "A", "k", "😀"), before);
}

TEST(ProfileFile, ReadsIntegersLikeGetPrivateProfileInt) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\ini\\n.ini"),
                        "[n]\r\ndec=42\r\nhex=0x1A\r\nHEX=0XfF\r\nneg=-7\r\nbits=0xFFFFFFFF\r\n"
                        "junk=12abc\r\nempty=\r\nbare0x=0x\r\nspaced= 5 \r\nhuge=99999999999\r\n");
  const char* file = "C:\\INI\\N.INI";
  EXPECT_EQ(ReadProfileInt(file, "n", "dec", -1), 42);
  EXPECT_EQ(ReadProfileInt(file, "n", "hex", -1), 26);
  EXPECT_EQ(ReadProfileInt(file, "n", "neg", 0), -7);
  EXPECT_EQ(ReadProfileInt(file, "n", "bits", 0), -1);
  EXPECT_EQ(ReadProfileInt(file, "n", "spaced", 0), 5);
  for (const char* bad : {"junk", "empty", "bare0x", "huge", "missing"}) {
    EXPECT_EQ(ReadProfileInt(file, "n", bad, 9), 9) << bad;
  }
  EXPECT_EQ(ReadProfileInt("C:\\ini\\none.ini", "n", "dec", 3), 3);
  EXPECT_EQ(ReadProfileInt("Q:\\n.ini", "n", "dec", 3), 3);
  EXPECT_EQ(ReadProfileString(file, "N", "DEC", "x"), "42");
  EXPECT_EQ(ReadProfileString(file, "n", "missing", "fallback"), "fallback");
}

TEST(ProfileFile, WritesKeepEveryOtherByte) {
  TempPrefix prefix;
  // The stray byte 0xE3 alone is no CP932 text; the rewrite must keep it anyway.
  const std::string withStray =
      Cp932("; ソラナギ\r\n[PULUGINLIST]\r\n国土交通省電子納品基準=1\r\n農林水産省=0\r\n\r\n[Other]\nx=") +
      "\xE3\r\ntail";
  TempPrefix::WriteFile(prefix.HostC("C:\\VELMORA\\SORANA\\New_BIN\\Install.ini"), withStray);

  ASSERT_TRUE(
      StoreProfileString("C:\\VELMORA\\SORANA\\NEW_BIN\\install.ini", "puluginlist", "農林水産省", "1"));
  std::string after = TempPrefix::ReadFile(prefix.HostC("C:\\VELMORA\\SORANA\\New_BIN\\Install.ini"));
  std::string expected = withStray;
  expected.replace(expected.find(Cp932("農林水産省=0")), Cp932("農林水産省=0").size(), Cp932("農林水産省=1"));
  EXPECT_EQ(after, expected);
  EXPECT_EQ(ReadProfileInt("C:\\VELMORA\\SORANA\\NEW_BIN\\Install.ini", "PULUGINLIST", "農林水産省", 0), 1);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(prefix.HostC("C:\\VELMORA\\SORANA\\New_BIN")),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(ProfileFile, CreatesMissingFilesAndReportsFailures) {
  TempPrefix prefix;
  std::filesystem::create_directories(prefix.HostC("C:\\w"));
  ASSERT_TRUE(StoreProfileString("C:\\w\\new.ini", "S", "k", "値"));
  EXPECT_EQ(TempPrefix::ReadFile(prefix.HostC("C:\\w\\new.ini")), "[S]\r\nk=" + Cp932("値") + "\r\n");
  EXPECT_EQ(ReadProfileString("C:\\w\\new.ini", "s", "K", ""), "値");

  EXPECT_FALSE(StoreProfileString("C:\\missing-folder\\x.ini", "S", "k", "v"));
  EXPECT_FALSE(StoreProfileString("Q:\\x.ini", "S", "k", "v"));
  EXPECT_FALSE(StoreProfileString("C:\\w\\new.ini", "S", "k", "two\nlines"));
  EXPECT_FALSE(StoreProfileString("C:\\w", "S", "k", "v"));  // a folder
  EXPECT_EQ(ReadProfileString("C:\\w\\new.ini", "s", "K", ""), "値");
}

}  // namespace
}  // namespace sorana::platform
