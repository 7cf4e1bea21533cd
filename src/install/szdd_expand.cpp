#include "install/szdd_expand.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/file_system.h"
#include "platform/input_file.h"
#include "platform/lz_expand.h"

namespace sorana::install {

namespace {

namespace fs = std::filesystem;

constexpr unsigned char kSzddSignature[8] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};
constexpr unsigned char kQbasicSignature[8] = {0x53, 0x5A, 0x20, 0x88, 0xF0, 0x27, 0x33, 0xD1};
// Signature, mode 'A', the last character of the name, the expanded length.
constexpr size_t kSzddHeaderSize = 14;
// The QBasic variant: signature and the expanded length only.
constexpr size_t kQbasicHeaderSize = 12;
constexpr size_t kCopyBufferSize = size_t{1} << 20;

ExpandResult Failure(int error, std::string detail) {
  return ExpandResult{ExpandResult::Outcome::Failed, error, std::move(detail)};
}

ExpandResult CopyUnchanged(const fs::path& source, platform::host::AtomicFile& out) {
  platform::host::InputFile in(source);
  if (!in.Ok()) return Failure(platform::LastError(), "cannot open " + source.string());
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[kCopyBufferSize]);
  for (;;) {
    const int64_t got = in.Read(buffer.get(), kCopyBufferSize);
    if (got == 0) return ExpandResult{ExpandResult::Outcome::Copied, 0, {}};
    if (got < 0 || !out.Write(buffer.get(), static_cast<size_t>(got))) {
      return Failure(platform::LastError(), "cannot copy " + source.string());
    }
  }
}

uint32_t LittleEndian32(const unsigned char* bytes) {
  return bytes[0] | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[3]} << 24);
}

struct Header {
  enum class Kind { None, Szdd, Broken, Unreadable } kind = Kind::None;
  int64_t length = 0;  // the expanded length the header gives
  int error = 0;       // errno when unreadable
};

Header ReadHeader(const fs::path& source) {
  platform::host::InputFile in(source);
  if (!in.Ok()) return Header{Header::Kind::Unreadable, 0, platform::LastError()};
  unsigned char head[kSzddHeaderSize] = {};
  size_t got = 0;
  while (got < sizeof head) {
    const int64_t piece = in.Read(head + got, sizeof head - got);
    if (piece < 0) return Header{Header::Kind::Unreadable, 0, platform::LastError()};
    if (piece == 0) break;
    got += static_cast<size_t>(piece);
  }
  // A file shorter than a signature cannot be SZDD: it is copied like any other.
  if (got < sizeof kSzddSignature) return Header{};
  if (std::memcmp(head, kSzddSignature, sizeof kSzddSignature) == 0) {
    if (got < kSzddHeaderSize) return Header{Header::Kind::Broken};
    return Header{Header::Kind::Szdd, LittleEndian32(head + 10)};
  }
  if (std::memcmp(head, kQbasicSignature, sizeof kQbasicSignature) == 0) {
    if (got < kQbasicHeaderSize) return Header{Header::Kind::Broken};
    return Header{Header::Kind::Szdd, LittleEndian32(head + 8)};
  }
  return Header{};
}

// The platform expands; what it gives is held against the header here, on every host.
ExpandResult Checked(const Header& header, const platform::host::LzExpansion& expansion) {
  if (!expansion.ok()) return Failure(expansion.error, expansion.detail);
  // LZ32 does not know the QBasic variant and copies it.
  if (!expansion.decoded) return Failure(0, "the platform copied an SZDD file instead of expanding it");
  if (expansion.bytes != header.length) {
    // Decoders stop quietly at the end of their input, so a cut download
    // decodes "successfully" into a shorter file.
    return Failure(0, "SZDD data gives " + std::to_string(expansion.bytes) + " bytes, its header says " +
                          std::to_string(header.length));
  }
  return ExpandResult{ExpandResult::Outcome::Expanded, 0, {}};
}

}  // namespace

ExpandResult ExpandFile(const fs::path& source, const fs::path& target) {
  const Header header = ReadHeader(source);
  if (header.kind == Header::Kind::Unreadable) return Failure(header.error, "cannot read " + source.string());
  if (header.kind == Header::Kind::Broken) return Failure(0, "unreadable SZDD header");
  // Written beside the target and renamed onto it; removed again on any failure.
  platform::host::AtomicFile out(target);
  if (!out.Ok()) return Failure(platform::LastError(), "cannot create a file beside " + target.string());
  ExpandResult result = header.kind == Header::Kind::Szdd
                            ? Checked(header, platform::host::LzExpand(source, out))
                            : CopyUnchanged(source, out);
  if (result.ok() && !out.Commit(true, false)) {
    result = Failure(platform::LastError(), "cannot rename into " + target.string());
  }
  return result;
}

}  // namespace sorana::install
