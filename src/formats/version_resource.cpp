#include "formats/version_resource.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <vector>

namespace sorana::formats {

namespace {

constexpr uint16_t kMagicPe32 = 0x10b;
constexpr uint16_t kMagicPe32Plus = 0x20b;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoSize = 52;
constexpr uint32_t kSubdirectoryBit = 0x80000000u;

// Little-endian reads that fail instead of leaving the image.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  bool Has(uint64_t offset, uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  std::optional<uint16_t> U16(uint64_t offset) const {
    if (!Has(offset, 2)) return std::nullopt;
    return static_cast<uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
  }
  std::optional<uint32_t> U32(uint64_t offset) const {
    if (!Has(offset, 4)) return std::nullopt;
    return static_cast<uint32_t>(bytes_[offset]) | (static_cast<uint32_t>(bytes_[offset + 1]) << 8) |
           (static_cast<uint32_t>(bytes_[offset + 2]) << 16) |
           (static_cast<uint32_t>(bytes_[offset + 3]) << 24);
  }

 private:
  std::span<const uint8_t> bytes_;
};

struct Section {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawSize;
  uint32_t rawOffset;
};

class PeImage {
 public:
  explicit PeImage(std::span<const uint8_t> bytes) : reader_(bytes) {}

  // Reads the headers; false when the bytes are not a PE32 or PE32+ image.
  bool Parse() {
    if (reader_.U16(0) != uint16_t{0x5A4D}) return false;  // "MZ"
    std::optional<uint32_t> peOffset = reader_.U32(0x3C);
    if (!peOffset || reader_.U32(*peOffset) != uint32_t{0x00004550}) return false;  // "PE\0\0"
    uint64_t coff = uint64_t{*peOffset} + 4;
    std::optional<uint16_t> sectionCount = reader_.U16(coff + 2);
    std::optional<uint16_t> optionalSize = reader_.U16(coff + 16);
    if (!sectionCount || !optionalSize) return false;
    uint64_t optional = coff + 20;
    std::optional<uint16_t> magic = reader_.U16(optional);
    if (!magic) return false;
    uint64_t countField = 0;
    uint64_t directories = 0;
    if (*magic == kMagicPe32) {
      countField = 92;
      directories = 96;
    } else if (*magic == kMagicPe32Plus) {
      countField = 108;
      directories = 112;
    } else {
      return false;
    }
    std::optional<uint32_t> directoryCount = reader_.U32(optional + countField);
    uint64_t entry = directories + uint64_t{8} * kResourceDirectoryIndex;
    if (!directoryCount || *directoryCount <= kResourceDirectoryIndex || entry + 8 > *optionalSize)
      return false;
    std::optional<uint32_t> rva = reader_.U32(optional + entry);
    std::optional<uint32_t> size = reader_.U32(optional + entry + 4);
    if (!rva || !size || *rva == 0 || *size == 0) return false;
    resourceRva_ = *rva;

    uint64_t table = optional + *optionalSize;
    for (uint32_t i = 0; i < *sectionCount; ++i) {
      uint64_t header = table + 40ull * i;
      std::optional<uint32_t> virtualSize = reader_.U32(header + 8);
      std::optional<uint32_t> virtualAddress = reader_.U32(header + 12);
      std::optional<uint32_t> rawSize = reader_.U32(header + 16);
      std::optional<uint32_t> rawOffset = reader_.U32(header + 20);
      if (!virtualSize || !virtualAddress || !rawSize || !rawOffset) return false;
      sections_.push_back({*virtualAddress, *virtualSize, *rawSize, *rawOffset});
    }
    return true;
  }

  // File offset of `length` bytes at `rva`, all inside one section's data in the file.
  std::optional<uint64_t> Map(uint64_t rva, uint64_t length) const {
    for (const Section& s : sections_) {
      if (rva < s.virtualAddress) continue;
      uint64_t within = rva - s.virtualAddress;
      // Bytes beyond the raw data would be zero-filled in memory; a version
      // resource never lies there, so treat them as out of the image.
      uint64_t extent = s.virtualSize != 0 ? std::min(s.virtualSize, s.rawSize) : s.rawSize;
      if (within > extent || length > extent - within) continue;
      uint64_t offset = uint64_t{s.rawOffset} + within;
      if (reader_.Has(offset, length)) return offset;
    }
    return std::nullopt;
  }

  std::optional<uint32_t> U32At(uint64_t rva) const {
    std::optional<uint64_t> offset = Map(rva, 4);
    return offset ? reader_.U32(*offset) : std::nullopt;
  }
  std::optional<uint16_t> U16At(uint64_t rva) const {
    std::optional<uint64_t> offset = Map(rva, 2);
    return offset ? reader_.U16(*offset) : std::nullopt;
  }

  uint32_t ResourceRva() const { return resourceRva_; }

 private:
  Reader reader_;
  std::vector<Section> sections_;
  uint32_t resourceRva_ = 0;
};

struct DirectoryEntry {
  uint32_t name;
  uint32_t target;  // offset from the resource root, with the subdirectory bit
};

// Entries of the resource directory at `offset` from the resource root; the
// walk is three fixed levels deep, so a directory that points back cannot loop.
std::optional<DirectoryEntry> FindEntry(const PeImage& image, uint32_t offset, std::optional<uint32_t> id) {
  uint64_t directory = uint64_t{image.ResourceRva()} + offset;
  std::optional<uint16_t> named = image.U16At(directory + 12);
  std::optional<uint16_t> ids = image.U16At(directory + 14);
  if (!named || !ids) return std::nullopt;
  uint32_t count = uint32_t{*named} + *ids;
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t entry = directory + 16 + 8ull * i;
    std::optional<uint32_t> name = image.U32At(entry);
    std::optional<uint32_t> target = image.U32At(entry + 4);
    if (!name || !target) return std::nullopt;
    if (!id || *name == *id) return DirectoryEntry{*name, *target};
  }
  return std::nullopt;
}

std::optional<uint32_t> Subdirectory(const std::optional<DirectoryEntry>& entry) {
  if (!entry || (entry->target & kSubdirectoryBit) == 0) return std::nullopt;
  return entry->target & ~kSubdirectoryBit;
}

std::string FormatVersion(uint32_t ms, uint32_t ls) {
  return "v" + std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) +
         "." + std::to_string(ls & 0xFFFF);
}

}  // namespace

std::string VersionTextFromImage(std::span<const uint8_t> bytes) {
  PeImage image(bytes);
  if (!image.Parse()) return {};

  // Type RT_VERSION, then its first name, then that name's first language.
  std::optional<uint32_t> names = Subdirectory(FindEntry(image, 0, kRtVersion));
  if (!names) return {};
  std::optional<uint32_t> languages = Subdirectory(FindEntry(image, *names, std::nullopt));
  if (!languages) return {};
  std::optional<DirectoryEntry> language = FindEntry(image, *languages, std::nullopt);
  if (!language || (language->target & kSubdirectoryBit) != 0) return {};

  uint64_t dataEntry = uint64_t{image.ResourceRva()} + language->target;
  std::optional<uint32_t> dataRva = image.U32At(dataEntry);
  std::optional<uint32_t> dataSize = image.U32At(dataEntry + 4);
  if (!dataRva || !dataSize) return {};
  std::optional<uint64_t> block = image.Map(*dataRva, *dataSize);
  if (!block) return {};

  // VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO", padding
  // to 32 bits, then VS_FIXEDFILEINFO.
  static constexpr char16_t kKey[] = u"VS_VERSION_INFO";
  constexpr uint32_t kKeyBytes = sizeof kKey;  // with its terminator
  constexpr uint32_t kValueOffset = (6 + kKeyBytes + 3) & ~3u;
  std::optional<uint16_t> length = image.U16At(*dataRva);
  std::optional<uint16_t> valueLength = image.U16At(*dataRva + 2);
  if (!length || !valueLength) return {};
  uint32_t blockLength = std::min<uint32_t>(*length, *dataSize);
  if (*valueLength < kFixedInfoSize || blockLength < kValueOffset + kFixedInfoSize) return {};
  for (uint32_t i = 0; i < kKeyBytes / 2; ++i) {
    if (image.U16At(*dataRva + 6 + 2 * i) != uint16_t{kKey[i]}) return {};
  }
  uint64_t fixed = uint64_t{*dataRva} + kValueOffset;
  if (image.U32At(fixed) != kFixedInfoSignature) return {};
  std::optional<uint32_t> fileMs = image.U32At(fixed + 8);
  std::optional<uint32_t> fileLs = image.U32At(fixed + 12);
  if (!fileMs || !fileLs) return {};
  return FormatVersion(*fileMs, *fileLs);
}

namespace {

// The parts of a version text; nullopt when it is no version text.
std::optional<std::array<uint32_t, 4>> VersionParts(std::string_view text) {
  if (text.size() < 2 || text.front() != 'v') return std::nullopt;
  std::array<uint32_t, 4> parts{};
  size_t index = 0;
  for (size_t pos = 1; pos <= text.size(); ++index) {
    const size_t end = std::min(text.find('.', pos), text.size());
    uint32_t value = 0;
    auto [last, error] = std::from_chars(text.data() + pos, text.data() + end, value);
    if (index == parts.size() || end == pos || error != std::errc() || last != text.data() + end) {
      return std::nullopt;
    }
    parts[index] = value;
    pos = end + 1;
  }
  return parts;
}

}  // namespace

bool VersionBelow(std::string_view a, std::string_view b) {
  const std::optional<std::array<uint32_t, 4>> left = VersionParts(a);
  const std::optional<std::array<uint32_t, 4>> right = VersionParts(b);
  if (!left || !right) return !left && right;
  return *left < *right;
}

}  // namespace sorana::formats
