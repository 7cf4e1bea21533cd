// Writes minimal Windows program files (PE32 or PE32+) whose version resource
// holds a known VS_FIXEDFILEINFO: the update-site tool packs them as the
// product's programs, and tests use them as fotodesk.exe of a given version.
// They are real programs without imports: headers, a ".rsrc" section with the
// version and a ".text" section whose entry point returns 0, so Wine runs them
// and they end at once (bytes appended after the image are an overlay loaders
// ignore).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace sorana::tools {

using VersionParts = std::array<uint16_t, 4>;

// A program file whose file and product versions are a.b.c.d.
std::string MakeProgramFile(uint16_t a, uint16_t b, uint16_t c, uint16_t d, bool pe32plus = false);
// A program file whose product version differs from its file version.
std::string MakeProgramFile(const VersionParts& fileVersion, const VersionParts& productVersion,
                            bool pe32plus = false);
// A program file without any resources.
std::string MakeProgramFileWithoutVersion(bool pe32plus = false);
// A 32-bit program file with a version but without code: its entry point lies
// in the headers, so running it crashes (for tests of a crashing program).
std::string MakeProgramFileWithoutCode(const VersionParts& version);

// Where the pieces lie in a file made above, for tests that corrupt them.
struct ProgramFileLayout {
  static constexpr uint32_t kPeHeaderOffset = 0x40;  // e_lfanew's value
  static constexpr uint32_t kResourceFileOffset = 0x200;
  static constexpr uint32_t kResourceRva = 0x1000;
  // Offsets from the start of the resource section.
  static constexpr uint32_t kTypeDirectory = 0;
  static constexpr uint32_t kNameDirectory = 24;
  static constexpr uint32_t kLanguageDirectory = 48;
  static constexpr uint32_t kDataEntry = 72;
  static constexpr uint32_t kVersionBlock = 88;
  // File offset of the resource data-directory entry (RVA, size) for either kind.
  static constexpr uint32_t ResourceDirectoryEntry(bool pe32plus) {
    return kPeHeaderOffset + 24 + (pe32plus ? 112 : 96) + 16;
  }
  static constexpr uint32_t SectionHeader(bool pe32plus) {
    return kPeHeaderOffset + 24 + (pe32plus ? 240 : 224);
  }
};

}  // namespace sorana::tools
