#include "tools/program_file_writer.h"

namespace sorana::tools {

namespace {

using Layout = ProgramFileLayout;

class Bytes {
 public:
  explicit Bytes(size_t size) : data_(size, '\0') {}
  void U8(size_t at, uint8_t value) { data_.at(at) = static_cast<char>(value); }
  void U16(size_t at, uint16_t value) {
    U8(at, static_cast<uint8_t>(value));
    U8(at + 1, static_cast<uint8_t>(value >> 8));
  }
  void U32(size_t at, uint32_t value) {
    U16(at, static_cast<uint16_t>(value));
    U16(at + 2, static_cast<uint16_t>(value >> 16));
  }
  void U64(size_t at, uint64_t value) {
    U32(at, static_cast<uint32_t>(value));
    U32(at + 4, static_cast<uint32_t>(value >> 32));
  }
  void Text(size_t at, std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) U8(at + i, static_cast<uint8_t>(text[i]));
  }
  std::string Take() { return std::move(data_); }

 private:
  std::string data_;
};

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kFixedInfoSize = 52;
constexpr uint32_t kVersionBlockSize = 40 + kFixedInfoSize;  // header, key, padding, fixed info
constexpr uint32_t kResourceSize = Layout::kVersionBlock + kVersionBlockSize;
// The entry point's code: xor eax,eax; ret. The loader calls the entry point
// and ends the process with what it returns, so the program exits with 0.
constexpr std::string_view kExitWithZero = "\x31\xC0\xC3";

uint32_t High(const VersionParts& v) { return (uint32_t{v[0]} << 16) | v[1]; }
uint32_t Low(const VersionParts& v) { return (uint32_t{v[2]} << 16) | v[3]; }

// One resource directory with a single id entry.
void Directory(Bytes& out, size_t at, uint32_t id, uint32_t target) {
  out.U16(at + 14, 1);  // NumberOfIdEntries
  out.U32(at + 16, id);
  out.U32(at + 20, target);
}

void WriteResources(Bytes& out, const VersionParts& file, const VersionParts& product) {
  const size_t base = Layout::kResourceFileOffset;
  Directory(out, base + Layout::kTypeDirectory, 16, 0x80000000u | Layout::kNameDirectory);  // RT_VERSION
  Directory(out, base + Layout::kNameDirectory, 1, 0x80000000u | Layout::kLanguageDirectory);
  Directory(out, base + Layout::kLanguageDirectory, 0x411, Layout::kDataEntry);  // Japanese
  out.U32(base + Layout::kDataEntry, Layout::kResourceRva + Layout::kVersionBlock);
  out.U32(base + Layout::kDataEntry + 4, kVersionBlockSize);

  const size_t block = base + Layout::kVersionBlock;
  out.U16(block, kVersionBlockSize);
  out.U16(block + 2, kFixedInfoSize);
  out.U16(block + 4, 0);  // binary value
  const std::u16string key = u"VS_VERSION_INFO";
  for (size_t i = 0; i < key.size(); ++i) out.U16(block + 6 + 2 * i, key[i]);
  const size_t fixed = block + 40;
  out.U32(fixed, 0xFEEF04BD);
  out.U32(fixed + 4, 0x00010000);
  out.U32(fixed + 8, High(file));
  out.U32(fixed + 12, Low(file));
  out.U32(fixed + 16, High(product));
  out.U32(fixed + 20, Low(product));
  out.U32(fixed + 24, 0x3F);     // flags mask
  out.U32(fixed + 32, 0x40004);  // VOS_NT_WINDOWS32
  out.U32(fixed + 36, 1);        // VFT_APP
}

// The image: headers, then ".rsrc" when there is a version, then ".text"
// unless the file is to be without code (its entry point is then 0, and the
// loader jumps into the headers: the program crashes).
std::string Build(const VersionParts* file, const VersionParts* product, bool pe32plus, bool withCode) {
  const bool withResources = file != nullptr;
  const uint16_t sectionCount = (withResources ? 1 : 0) + (withCode ? 1 : 0);
  const uint32_t codeRva = kSectionAlignment * (withResources ? 2 : 1);
  const uint32_t codeFileOffset = kFileAlignment * (withResources ? 2 : 1);
  Bytes out(size_t{kFileAlignment} * (1 + sectionCount));

  out.Text(0, "MZ");
  out.U32(0x3C, Layout::kPeHeaderOffset);

  const size_t pe = Layout::kPeHeaderOffset;
  out.Text(pe, std::string_view("PE\0\0", 4));
  const uint16_t optionalSize = pe32plus ? 240 : 224;
  out.U16(pe + 4, pe32plus ? 0x8664 : 0x14C);
  out.U16(pe + 6, sectionCount);
  out.U16(pe + 20, optionalSize);
  // Executable without relocations (it loads at its image base), large-address / 32-bit.
  out.U16(pe + 22, pe32plus ? 0x0023 : 0x0103);

  const size_t opt = pe + 24;
  out.U16(opt, pe32plus ? 0x20B : 0x10B);
  out.U8(opt + 2, 6);  // linker version
  if (withCode) {
    out.U32(opt + 4, kFileAlignment);  // SizeOfCode
    out.U32(opt + 16, codeRva);        // AddressOfEntryPoint
    out.U32(opt + 20, codeRva);        // BaseOfCode
  }
  if (pe32plus) {
    out.U64(opt + 24, 0x140000000ull);
  } else {
    out.U32(opt + 28, 0x400000);
  }
  out.U32(opt + 32, kSectionAlignment);
  out.U32(opt + 36, kFileAlignment);
  out.U16(opt + 40, 4);                                            // operating-system version 4.0
  out.U16(opt + 48, 4);                                            // subsystem version 4.0
  out.U32(opt + 56, kSectionAlignment * (1u + sectionCount));      // SizeOfImage
  out.U32(opt + 60, kFileAlignment);                               // SizeOfHeaders
  out.U16(opt + 68, 2);                                            // Windows GUI
  // Stack and heap, reserve and commit: 1 MiB and one page each.
  const size_t sizes = opt + 72;
  for (int i = 0; i < 4; ++i) {
    const uint32_t value = i % 2 == 0 ? 0x100000 : 0x1000;
    if (pe32plus) {
      out.U64(sizes + 8 * static_cast<size_t>(i), value);
    } else {
      out.U32(sizes + 4 * static_cast<size_t>(i), value);
    }
  }
  const size_t countField = opt + (pe32plus ? 108 : 92);
  out.U32(countField, 16);

  size_t section = Layout::SectionHeader(pe32plus);
  if (withResources) {
    out.U32(Layout::ResourceDirectoryEntry(pe32plus), Layout::kResourceRva);
    out.U32(Layout::ResourceDirectoryEntry(pe32plus) + 4, kResourceSize);

    out.Text(section, ".rsrc");
    out.U32(section + 8, kResourceSize);
    out.U32(section + 12, Layout::kResourceRva);
    out.U32(section + 16, kFileAlignment);
    out.U32(section + 20, Layout::kResourceFileOffset);
    out.U32(section + 36, 0x40000040);  // initialised data, readable
    WriteResources(out, *file, *product);
    section += 40;
  }
  if (withCode) {
    out.Text(section, ".text");
    out.U32(section + 8, static_cast<uint32_t>(kExitWithZero.size()));
    out.U32(section + 12, codeRva);
    out.U32(section + 16, kFileAlignment);
    out.U32(section + 20, codeFileOffset);
    out.U32(section + 36, 0x60000020);  // code, executable, readable
    out.Text(codeFileOffset, kExitWithZero);
  }
  return out.Take();
}

}  // namespace

std::string MakeProgramFile(uint16_t a, uint16_t b, uint16_t c, uint16_t d, bool pe32plus) {
  const VersionParts version{a, b, c, d};
  return Build(&version, &version, pe32plus, true);
}

std::string MakeProgramFile(const VersionParts& fileVersion, const VersionParts& productVersion,
                            bool pe32plus) {
  return Build(&fileVersion, &productVersion, pe32plus, true);
}

std::string MakeProgramFileWithoutVersion(bool pe32plus) { return Build(nullptr, nullptr, pe32plus, true); }

std::string MakeProgramFileWithoutCode(const VersionParts& version) {
  return Build(&version, &version, false, false);
}

}  // namespace sorana::tools
