// Decodes one member's data straight from the archive bytes with liblhasa's
// decoders, so the check covers the whole stored stream while the output is
// the file's content (without a MacLHA MacBinary header).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include <lhasa.h>

namespace unlha32 {

class MemberDecoder {
 public:
  // `data` is the member's compressed data as it follows its header.
  MemberDecoder(const LHAFileHeader& member, std::string_view data);
  ~MemberDecoder();
  MemberDecoder(const MemberDecoder&) = delete;
  MemberDecoder& operator=(const MemberDecoder&) = delete;

  // False when the member's method has no decoder.
  bool Ready() const { return decoder_ != nullptr; }

  // The next piece of the file's content; 0 at its end.
  size_t Read(uint8_t* buffer, size_t size);

  // After the last Read: the whole decoded stream has the member's length and CRC.
  bool Intact() const;

 private:
  static size_t Feed(void* buffer, size_t size, void* self);
  size_t ReadStream(uint8_t* buffer, size_t size);
  void DetectMacBinary();

  const LHAFileHeader& member_;
  std::string_view data_;
  size_t fed_ = 0;
  LHADecoder* decoder_ = nullptr;
  // Bytes read ahead to look for a MacBinary header, still to hand out.
  uint8_t pending_[128] = {};
  size_t pendingStart_ = 0;
  size_t pendingEnd_ = 0;
  size_t contentLeft_ = 0;  // content bytes still to hand out
};

}  // namespace unlha32
