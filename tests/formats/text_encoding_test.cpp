#include "formats/cp932.h"
#include "formats/utf16.h"

#include <gtest/gtest.h>

namespace sorana::formats {
namespace {

TEST(Cp932, RoundTripsJapaneseText) {
  // ソ is 0x83 0x5C: its second byte is a backslash.
  const std::string cp932 = "\x83\x5C\x83\x89\x83\x69\x83\x4D C:\\VELMORA\\";
  const std::string utf8 = "ソラナギ C:\\VELMORA\\";
  EXPECT_EQ(formats::Cp932ToUtf8(cp932), utf8);
  EXPECT_EQ(formats::Utf8ToCp932(utf8), cp932);
  EXPECT_EQ(formats::Cp932ToUtf8(""), "");
  EXPECT_EQ(formats::Utf8ToCp932(""), "");
  // Half-width katakana are single bytes.
  EXPECT_EQ(formats::Utf8ToCp932("ｱ"), "\xB1");
  // Embedded zero bytes pass through.
  EXPECT_EQ(formats::Cp932ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp932, LongTextGrowsTheBuffer) {
  std::string utf8;
  for (int i = 0; i < 5000; ++i) utf8 += "電子納品";
  std::optional<std::string> cp932 = formats::Utf8ToCp932(utf8);
  ASSERT_TRUE(cp932);
  EXPECT_EQ(cp932->size(), 5000u * 8);
  EXPECT_EQ(formats::Cp932ToUtf8(*cp932), utf8);
}

TEST(Cp932, InvalidInputGivesNoText) {
  EXPECT_FALSE(formats::Cp932ToUtf8("\x83"));         // lead byte without its trail byte
  EXPECT_FALSE(formats::Cp932ToUtf8("ok\x83\x20"));   // trail byte out of range
  EXPECT_FALSE(formats::Cp932ToUtf8("bad\x80.txt"));  // bytes that are no character, though
  EXPECT_FALSE(formats::Cp932ToUtf8("\xC4\xA0"));     // Windows' table passes them through
  EXPECT_FALSE(formats::Utf8ToCp932("\xE3\x82"));     // truncated UTF-8
  EXPECT_FALSE(formats::Utf8ToCp932("\xFF"));         // not UTF-8 at all
  EXPECT_FALSE(formats::Utf8ToCp932("emoji 😀"));      // no CP932 character for it
  // UTF-16 for the registry: lone surrogates and overlong UTF-8 are refused.
  EXPECT_EQ(formats::Utf8ToUtf16("ソ😀"), std::u16string(u"ソ😀"));
  EXPECT_EQ(formats::Utf16ToUtf8(u"ソ😀"), "ソ😀");
  EXPECT_FALSE(formats::Utf16ToUtf8(std::u16string(1, u'\xD800')));
  EXPECT_FALSE(formats::Utf8ToUtf16("\xC0\xAF"));
  EXPECT_FALSE(formats::Utf8ToUtf16("\xED\xA0\x80"));      // a surrogate spelt in UTF-8
  EXPECT_FALSE(formats::Utf8ToUtf16("\xF4\x90\x80\x80"));  // above U+10FFFF
  // Shown texts keep every valid character and mark each bad unit.
  EXPECT_EQ(formats::Utf8ToUtf16Shown("a\xFF\xE3\x82"
                                      "b"),
            std::u16string(u"a\uFFFD\uFFFD\uFFFDb"));
  EXPECT_EQ(formats::Utf16ToUtf8Shown(std::u16string{u'x', u'\xDC00', u'y'}), "x\xEF\xBF\xBDy");
  // A failure leaves the next conversion unaffected.
  EXPECT_EQ(formats::Cp932ToUtf8("\x83\x5C"), "ソ");
}

}  // namespace
}  // namespace sorana::formats
