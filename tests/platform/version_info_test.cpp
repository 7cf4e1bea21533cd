#include "platform/version_info.h"

#include <gtest/gtest.h>

#include <vector>

#include "formats/version_resource.h"
#include "support/pe_writer.h"
#include "support/temp_prefix.h"

namespace sorana::platform {
namespace {

using test::MakeProgramFile;
using test::ProgramFileLayout;
using test::TempPrefix;

std::string TextOf(const std::string& bytes) {
  // A copy of exactly this size, so that a read past its end is caught by the sanitizer.
  std::vector<uint8_t> image(bytes.begin(), bytes.end());
  return formats::VersionTextFromImage(image);
}

void Put(std::string& bytes, size_t at, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes.at(at + i) = static_cast<char>(value >> (8 * i));
}

TEST(VersionInfo, ReadsTheFileVersionOfProgramFiles) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\fotodesk.exe"), MakeProgramFile(2, 4, 1, 0));
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\old.exe"), MakeProgramFile(1, 10, 0, 0));
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\wide.exe"), MakeProgramFile(65535, 0, 12, 7, true));
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\product.exe"), MakeProgramFile({1, 2, 9, 0}, {2, 4, 1, 0}));

  EXPECT_EQ(GetFileVersionText("C:\\P\\FOTODESK.EXE"), "v2.4.1.0");
  EXPECT_EQ(GetFileVersionText("C:\\p\\old.exe"), "v1.10.0.0");
  EXPECT_EQ(GetFileVersionText("C:\\p\\wide.exe"), "v65535.0.12.7");
  EXPECT_EQ(GetFileVersionText("C:\\p\\product.exe"), "v1.2.9.0");  // file version, not product
}

TEST(VersionInfo, VersionsCompareAsNumbers) {
  struct Case {
    const char* a;
    const char* b;
    bool below;
  } cases[] = {
      {"v2.4.1.0", "v2.10.0.0", true},
      {"v2.10.0.0", "v2.4.1.0", false},
      {"v1.10.0.0", "v1.2.9", false},
      {"v1.2.8.99", "v1.2.9", true},
      {"v1.2.9.0", "v1.2.9", false},
      {"", "v1.2.9", true},
      {"", "", false},
      {"v2.4.1.0", "", false},
      {"x1.0", "v0.0.0.1", true},
      {"v1..2", "v0.1", true},
      {"v1.2.3.4.5", "v0.1", true},
      {"v4294967296.0.0.0", "v1", true},
  };
  for (const Case& c : cases) EXPECT_EQ(formats::VersionBelow(c.a, c.b), c.below) << c.a << " < " << c.b;
  // Versions of single digits keep the order of their texts.
  for (int n = 0; n < 10000; ++n) {
    const std::string v = "v" + std::to_string(n / 1000) + "." + std::to_string(n / 100 % 10) + "." +
                          std::to_string(n / 10 % 10) + "." + std::to_string(n % 10);
    for (std::string_view b : {"v1.2.9", "v2.4.1.0"}) ASSERT_EQ(formats::VersionBelow(v, b), v < b) << v;
  }
}

TEST(VersionInfo, FilesWithoutVersionGiveEmptyText) {
  TempPrefix prefix;
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\plain.exe"), test::MakeProgramFileWithoutVersion());
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\plain64.exe"), test::MakeProgramFileWithoutVersion(true));
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\text.exe"), "MZ this is not a program");
  TempPrefix::WriteFile(prefix.HostC("C:\\p\\empty.exe"), "");

  EXPECT_EQ(GetFileVersionText("C:\\p\\plain.exe"), "");
  EXPECT_EQ(GetFileVersionText("C:\\p\\plain64.exe"), "");
  EXPECT_EQ(GetFileVersionText("C:\\p\\text.exe"), "");
  EXPECT_EQ(GetFileVersionText("C:\\p\\empty.exe"), "");
  EXPECT_EQ(GetFileVersionText("C:\\p\\missing.exe"), "");
  EXPECT_EQ(GetFileVersionText("C:\\p"), "");
  EXPECT_EQ(GetFileVersionText("Q:\\no\\drive.exe"), "");
}

TEST(VersionInfo, EveryTruncationIsSafe) {
  for (bool pe32plus : {false, true}) {
    const std::string whole = MakeProgramFile(2, 4, 1, 0, pe32plus);
    ASSERT_EQ(TextOf(whole), "v2.4.1.0");
    for (size_t length = 0; length < whole.size(); ++length) {
      std::string text = TextOf(whole.substr(0, length));
      // The fixed information ends the file's data, so only the whole file has it.
      const size_t fixedEnd = ProgramFileLayout::kResourceFileOffset + ProgramFileLayout::kVersionBlock + 92;
      EXPECT_EQ(text, length >= fixedEnd ? "v2.4.1.0" : "") << "length " << length;
    }
  }
}

TEST(VersionInfo, CorruptStructuresGiveEmptyText) {
  using L = ProgramFileLayout;
  const std::string good = MakeProgramFile(2, 4, 1, 0);
  const uint32_t rsrc = L::kResourceFileOffset;
  struct Corruption {
    const char* what;
    size_t at;
    uint32_t value;
    int width = 4;
  };
  const Corruption cases[] = {
      {"e_lfanew far beyond the file", 0x3C, 0xFFFFFFF0u},
      {"e_lfanew at the last bytes", 0x3C, static_cast<uint32_t>(good.size() - 2)},
      {"optional header magic", L::kPeHeaderOffset + 24, 0x0107, 2},
      {"no data directories", L::kPeHeaderOffset + 24 + 92, 2},
      {"resource RVA outside every section", L::ResourceDirectoryEntry(false), 0x7FFFFFF0u},
      {"section raw data beyond the file", L::SectionHeader(false) + 20, 0xFFFFFE00u},
      {"section count huge", L::kPeHeaderOffset + 6, 0xFFFF, 2},
      {"type entry points at itself", rsrc + L::kTypeDirectory + 20, 0x80000000u},
      {"name entry points back at the root", rsrc + L::kNameDirectory + 20, 0x80000000u},
      {"language entry is a directory", rsrc + L::kLanguageDirectory + 20, 0x80000000u | L::kNameDirectory},
      {"language entry far away", rsrc + L::kLanguageDirectory + 20, 0x7FFFFFF0u},
      {"no RT_VERSION type", rsrc + L::kTypeDirectory + 16, 3},
      {"data RVA outside the image", rsrc + L::kDataEntry, 0xFFFFFFF0u},
      {"data size huge", rsrc + L::kDataEntry + 4, 0xFFFFFFFFu},
      {"data size too small", rsrc + L::kDataEntry + 4, 40},
      {"block length too small", rsrc + L::kVersionBlock, 0x0030 | (52u << 16)},
      {"value length too small", rsrc + L::kVersionBlock, 92 | (12u << 16)},
      {"wrong key", rsrc + L::kVersionBlock + 6, 'X'},
      {"wrong signature", rsrc + L::kVersionBlock + 40, 0xFEEF04BCu},
  };
  for (const Corruption& c : cases) {
    std::string bytes = good;
    Put(bytes, c.at, c.value, c.width);
    EXPECT_EQ(TextOf(bytes), "") << c.what;
  }

  // A search for RT_VERSION through a directory claiming 65535 entries stops at the section's end.
  std::string counted = good;
  Put(counted, rsrc + L::kTypeDirectory + 14, 0xFFFF, 2);
  Put(counted, rsrc + L::kTypeDirectory + 16, 3, 4);
  EXPECT_EQ(TextOf(counted), "");
  // Sizes that wrap around 32 bits must not widen what may be read.
  std::string wrapped = good;
  Put(wrapped, L::SectionHeader(false) + 8, 0xFFFFFFFFu, 4);
  Put(wrapped, L::SectionHeader(false) + 16, 0xFFFFFFFFu, 4);
  Put(wrapped, rsrc + L::kDataEntry, 0xFFFFFFF0u, 4);
  EXPECT_EQ(TextOf(wrapped), "");
}

}  // namespace
}  // namespace sorana::platform
