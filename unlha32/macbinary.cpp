#include "unlha32/macbinary.h"

#include <algorithm>
#include <cstring>

namespace unlha32 {
namespace {

// Seconds from the Mac epoch (1904) to the Unix epoch.
constexpr uint32_t kMacTimeOffset = 2082844800;
// UTC+14, the largest time zone offset.
constexpr int64_t kMaxZoneOffset = int64_t{14} * 60 * 60;

constexpr size_t kNameLengthAt = 0x01;
constexpr size_t kNameAt = 0x02;
constexpr size_t kNameCapacity = 63;
constexpr size_t kDataForkAt = 0x53;
constexpr size_t kResourceForkAt = 0x57;
constexpr size_t kModifiedAt = 0x5F;
constexpr size_t kCommentLengthAt = 0x63;
constexpr size_t kMacBinary2At = 0x65;

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool AllZero(const uint8_t* begin, const uint8_t* end) {
  return std::all_of(begin, end, [](uint8_t byte) { return byte == 0; });
}

}  // namespace

std::optional<size_t> MacBinaryContentLength(const uint8_t (&data)[kMacBinaryHeaderSize],
                                             const LHAFileHeader& member) {
  // Fields MacLHA always leaves zero: the old version byte, two compatibility
  // bytes, the Finder comment length and the MacBinary II area.
  if (data[0x00] != 0 || data[0x4A] != 0 || data[0x52] != 0 ||
      !AllZero(data + kCommentLengthAt, data + kMacBinary2At) ||
      !AllZero(data + kMacBinary2At, data + kMacBinaryHeaderSize)) {
    return std::nullopt;
  }
  // The name is the member's own, padded with zeros. An archived MacBinary
  // file (usually "name.bin") does not match and stays as it is.
  const size_t nameLength = data[kNameLengthAt];
  if (member.filename == nullptr || nameLength > kNameCapacity || nameLength != std::strlen(member.filename) ||
      std::memcmp(data + kNameAt, member.filename, nameLength) != 0 ||
      !AllZero(data + kNameAt + nameLength, data + kNameAt + kNameCapacity)) {
    return std::nullopt;
  }
  // Header and both forks, rounded up to 128 bytes, make up the member.
  const uint32_t dataFork = BigEndian32(data + kDataForkAt);
  const uint32_t resourceFork = BigEndian32(data + kResourceForkAt);
  const uint64_t whole = uint64_t{dataFork} + resourceFork + kMacBinaryHeaderSize;
  if (member.length != ((whole + 0x7F) & ~uint64_t{0x7F})) return std::nullopt;
  // The modification time is local Mac time, the member's is UTC: they differ
  // by at most a time zone's offset (MacLHA's are not always whole quarters).
  const uint32_t modified = BigEndian32(data + kModifiedAt);
  if (modified < kMacTimeOffset) return std::nullopt;
  const int64_t difference = int64_t{modified - kMacTimeOffset} - int64_t{member.timestamp};
  if (difference > kMaxZoneOffset || difference < -kMaxZoneOffset) return std::nullopt;
  return dataFork > 0 ? dataFork : resourceFork;
}

}  // namespace unlha32
