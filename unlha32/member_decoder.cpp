#include "unlha32/member_decoder.h"

#include <algorithm>
#include <cstring>

#include "unlha32/macbinary.h"

namespace unlha32 {

MemberDecoder::MemberDecoder(const LHAFileHeader& member, std::string_view data)
    : member_(member), data_(data.substr(0, std::min(data.size(), member.compressed_length))) {
  // liblhasa's lookup takes a mutable name.
  char method[sizeof member.compress_method];
  std::memcpy(method, member.compress_method, sizeof method);
  method[sizeof method - 1] = '\0';
  LHADecoderType* type = lha_decoder_for_name(method);
  if (type != nullptr) decoder_ = lha_decoder_new(type, &MemberDecoder::Feed, this, member.length);
  contentLeft_ = member.length;
  if (decoder_ != nullptr && member.os_type == LHA_OS_TYPE_MACOS) DetectMacBinary();
}

MemberDecoder::~MemberDecoder() {
  if (decoder_ != nullptr) lha_decoder_free(decoder_);
}

size_t MemberDecoder::Feed(void* buffer, size_t size, void* self) {
  auto* decoder = static_cast<MemberDecoder*>(self);
  size_t count = std::min(size, decoder->data_.size() - decoder->fed_);
  std::memcpy(buffer, decoder->data_.data() + decoder->fed_, count);
  decoder->fed_ += count;
  return count;
}

size_t MemberDecoder::ReadStream(uint8_t* buffer, size_t size) {
  size_t total = 0;
  while (total < size) {
    size_t count = lha_decoder_read(decoder_, buffer + total, size - total);
    if (count == 0) break;
    total += count;
  }
  return total;
}

void MemberDecoder::DetectMacBinary() {
  if (member_.length < kMacBinaryHeaderSize) return;
  pendingEnd_ = ReadStream(pending_, kMacBinaryHeaderSize);
  if (pendingEnd_ < kMacBinaryHeaderSize) return;
  if (auto content = MacBinaryContentLength(pending_, member_)) {
    pendingEnd_ = 0;
    contentLeft_ = *content;
  }
}

size_t MemberDecoder::Read(uint8_t* buffer, size_t size) {
  if (decoder_ == nullptr || size == 0) return 0;
  size_t total = 0;
  if (pendingStart_ < pendingEnd_) {
    total = std::min(size, pendingEnd_ - pendingStart_);
    std::memcpy(buffer, pending_ + pendingStart_, total);
    pendingStart_ += total;
    contentLeft_ -= std::min(contentLeft_, total);
  }
  if (total < size && contentLeft_ > 0) {
    size_t count = ReadStream(buffer + total, std::min(size - total, contentLeft_));
    contentLeft_ -= count;
    total += count;
  }
  if (total == 0) {
    // The rest of the stream (a resource fork, MacBinary padding) is not
    // content, but it is checked.
    uint8_t discard[4096];
    while (ReadStream(discard, sizeof discard) > 0) {
    }
  }
  return total;
}

bool MemberDecoder::Intact() const {
  return decoder_ != nullptr && lha_decoder_get_length(decoder_) == member_.length &&
         lha_decoder_get_crc(decoder_) == member_.crc;
}

}  // namespace unlha32
