// The 16-bit CRC that LHA archives carry for each member's data: CRC-16/ARC
// (polynomial 0x8005 reflected as 0xA001, initial value 0, no final xor).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace unlha32 {

// Continues `crc` over `bytes`; start with 0.
uint16_t Crc16Update(uint16_t crc, const void* bytes, size_t size);

inline uint16_t Crc16(std::string_view bytes) { return Crc16Update(0, bytes.data(), bytes.size()); }

}  // namespace unlha32
