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

using platform::HostError;
using platform::Result;

// A failure of the data itself, not of a file operation.
HostError DataFailure(std::string detail) { return HostError{0, 0, std::move(detail)}; }

HostError Described(HostError failure, std::string detail) {
  failure.what = std::move(detail);
  return failure;
}

Result<ExpandOutcome> CopyUnchanged(const fs::path& source, platform::host::AtomicFile& out) {
  platform::host::InputFile in(source);
  if (!in.Ok()) return Described(in.Error(), "cannot open " + source.string());
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[kCopyBufferSize]);
  for (;;) {
    const Result<size_t> got = in.Read(buffer.get(), kCopyBufferSize);
    if (!got) return Described(got.error(), "cannot copy " + source.string());
    if (*got == 0) return ExpandOutcome::Copied;
    if (platform::Status written = out.Write(buffer.get(), *got); !written) {
      return Described(written.error(), "cannot copy " + source.string());
    }
  }
}

uint32_t LittleEndian32(const unsigned char* bytes) {
  return bytes[0] | (uint32_t{bytes[1]} << 8) | (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[3]} << 24);
}

struct Header {
  enum class Kind { None, Szdd, Broken } kind = Kind::None;
  int64_t length = 0;  // the expanded length the header gives
};

Result<Header> ReadHeader(const fs::path& source) {
  platform::host::InputFile in(source);
  if (!in.Ok()) return Described(in.Error(), "cannot read " + source.string());
  unsigned char head[kSzddHeaderSize] = {};
  size_t got = 0;
  while (got < sizeof head) {
    const Result<size_t> piece = in.Read(head + got, sizeof head - got);
    if (!piece) return Described(piece.error(), "cannot read " + source.string());
    if (*piece == 0) break;
    got += *piece;
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
Result<ExpandOutcome> Checked(const Header& header, const Result<platform::host::LzExpansion>& expansion) {
  if (!expansion) return expansion.error();
  // LZ32 does not know the QBasic variant and copies it.
  if (!expansion->decoded) return DataFailure("the platform copied an SZDD file instead of expanding it");
  if (expansion->bytes != header.length) {
    // Decoders stop quietly at the end of their input, so a cut download
    // decodes "successfully" into a shorter file.
    return DataFailure("SZDD data gives " + std::to_string(expansion->bytes) + " bytes, its header says " +
                       std::to_string(header.length));
  }
  return ExpandOutcome::Expanded;
}

}  // namespace

Result<ExpandOutcome> ExpandFile(const fs::path& source, const fs::path& target) {
  const Result<Header> header = ReadHeader(source);
  if (!header) return header.error();
  if (header->kind == Header::Kind::Broken) return DataFailure("unreadable SZDD header");
  // Written beside the target and renamed onto it; removed again on any failure.
  platform::host::AtomicFile out(target);
  if (!out.Ok()) return out.Error();
  Result<ExpandOutcome> result = header->kind == Header::Kind::Szdd
                                     ? Checked(*header, platform::host::LzExpand(source, out))
                                     : CopyUnchanged(source, out);
  if (!result) return result;
  if (platform::Status committed = out.Commit(true, false); !committed) {
    return Described(committed.error(), "cannot rename into " + target.string());
  }
  return result;
}

}  // namespace sorana::install
