// MacBinary headers that MacLHA puts in front of a member's data.
//
// MacLHA's "Mac" archives (OS type 'm') carry each file as MacBinary: a
// 128-byte header with the Finder's metadata, then the data fork (and the
// resource fork). Only the file's content is extracted. A MacBinary header
// has no magic number, so it is recognised by its zero fields and by fields
// that must agree with the member's own header, as liblhasa recognises it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include <lhasa.h>

namespace unlha32 {

inline constexpr size_t kMacBinaryHeaderSize = 128;

// When the member's first 128 bytes of data are a MacBinary header written for
// this member: the length of the content that follows it (the data fork, or the
// resource fork when there is no data fork). Otherwise nothing.
std::optional<size_t> MacBinaryContentLength(const uint8_t (&data)[kMacBinaryHeaderSize],
                                             const LHAFileHeader& member);

}  // namespace unlha32
