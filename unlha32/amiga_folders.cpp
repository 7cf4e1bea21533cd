#include "unlha32/amiga_folders.h"

#include <cstdint>

#include "unlha32/crc16.h"

namespace unlha32 {

namespace {

constexpr char kAmiga = 'A';

uint32_t Uint16At(std::string_view bytes, size_t at) {
  return static_cast<uint8_t>(bytes[at]) | static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8;
}

uint32_t Uint32At(std::string_view bytes, size_t at) {
  return Uint16At(bytes, at) | Uint16At(bytes, at + 2) << 16;
}

// The extended headers after `sizeAt` (where the first one's size is): whether
// they hold a file name and a folder, and where the level 2 header's CRC lies
// (0: none). Returns where they end; npos when they run past `end`.
size_t ReadExtensions(std::string_view bytes, size_t sizeAt, size_t end, bool& hasName, bool& hasFolder,
                      size_t& crcAt) {
  size_t at = sizeAt + 2;
  for (size_t size = Uint16At(bytes, sizeAt); size != 0; size = Uint16At(bytes, at - 2)) {
    if (size < 3 || at + size > end) return std::string_view::npos;
    const uint8_t type = static_cast<uint8_t>(bytes[at]);
    if (type == 0x00 && size >= 5) crcAt = at + 1;
    if (type == 0x01 && size > 3) hasName = true;
    if (type == 0x02 && size > 3) hasFolder = true;
    at += size;
  }
  return at;
}

}  // namespace

std::optional<std::string> MarkAmigaFolders(std::string_view archive) {
  std::optional<std::string> marked;
  size_t at = 0;
  // Each member: its header, then its data; a zero byte ends the archive.
  while (at + 27 <= archive.size() && archive[at] != '\0') {
    const uint8_t level = static_cast<uint8_t>(archive[at + 20]);
    if (archive.substr(at + 2, 3) != "-lh" || (level != 1 && level != 2)) break;
    const uint32_t packed = Uint32At(archive, at + 7);  // level 1: the extended headers too
    const uint32_t length = Uint32At(archive, at + 11);
    size_t headerEnd;  // where the member's data begins
    size_t dataEnd;
    bool hasName = false;
    bool hasFolder = false;
    size_t crcAt = 0;
    char osType;
    if (level == 1) {
      // The base header, then extended headers that the packed size counts.
      const size_t nameLength = static_cast<uint8_t>(archive[at + 21]);
      headerEnd = at + 2 + static_cast<uint8_t>(archive[at]);
      if (headerEnd > archive.size() || 22 + nameLength + 5 > headerEnd - at) break;
      osType = archive[at + 24 + nameLength];
      hasName = nameLength > 0;
      dataEnd = headerEnd + packed;
      if (dataEnd > archive.size()) break;
      const size_t extensionsEnd = ReadExtensions(archive, headerEnd - 2, dataEnd, hasName, hasFolder, crcAt);
      if (extensionsEnd == std::string_view::npos) break;
      headerEnd = extensionsEnd;
    } else {
      headerEnd = at + Uint16At(archive, at);
      dataEnd = headerEnd + packed;
      if (headerEnd < at + 26 || dataEnd > archive.size() ||
          ReadExtensions(archive, at + 24, headerEnd, hasName, hasFolder, crcAt) == std::string_view::npos) {
        break;
      }
      osType = archive[at + 23];
    }
    if (osType == kAmiga && archive.substr(at + 2, 5) == "-lh0-" && dataEnd == headerEnd && length == 0 &&
        !hasName && hasFolder) {
      if (!marked) marked.emplace(archive);
      std::string& bytes = *marked;
      bytes.replace(at + 2, 5, "-lhd-");
      if (level == 1) {
        // The checksum covers the base header only.
        const size_t baseEnd = at + 2 + static_cast<uint8_t>(bytes[at]);
        unsigned sum = 0;
        for (size_t i = at + 2; i < baseEnd; ++i) sum += static_cast<uint8_t>(bytes[i]);
        bytes[at + 1] = static_cast<char>(sum & 0xFF);
      } else if (crcAt != 0) {
        bytes[crcAt] = bytes[crcAt + 1] = '\0';
        const uint16_t crc = Crc16(std::string_view(bytes).substr(at, headerEnd - at));
        bytes[crcAt] = static_cast<char>(crc & 0xFF);
        bytes[crcAt + 1] = static_cast<char>(crc >> 8);
      }
    }
    at = dataEnd;
  }
  return marked;
}

}  // namespace unlha32
