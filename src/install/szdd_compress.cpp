#include "install/szdd_compress.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace sorana::install {

namespace {

constexpr size_t kWindowSize = 4096;
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 18;  // 4 bits of length, offset by 3
// COMPRESS.EXE starts writing 16 bytes before the end of the window (QBasic's
// variant 18); libmspack and msexpand decode from there.
constexpr size_t kWindowStart = kWindowSize - 16;
// Stay clear of the slots the decoder is about to overwrite.
constexpr size_t kMaxDistance = kWindowSize - kMaxMatch;
constexpr size_t kHashBits = 15;
constexpr size_t kChainDepth = 48;

uint32_t Hash3(const unsigned char* p) {
  uint32_t v = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  return (v * 2654435761u) >> (32 - kHashBits);
}

// Collects up to eight items behind one flag byte.
class GroupWriter {
 public:
  explicit GroupWriter(std::string& out) : out_(out) {}
  void Literal(unsigned char byte) {
    Begin();
    out_[flagAt_] = static_cast<char>(static_cast<unsigned char>(out_[flagAt_]) | (1u << count_));
    out_.push_back(static_cast<char>(byte));
    ++count_;
  }
  void Match(size_t windowPos, size_t length) {
    Begin();
    out_.push_back(static_cast<char>(windowPos & 0xFF));
    out_.push_back(static_cast<char>(((windowPos >> 4) & 0xF0) | (length - kMinMatch)));
    ++count_;
  }

 private:
  void Begin() {
    if (count_ == 8 || !open_) {
      flagAt_ = out_.size();
      out_.push_back('\0');
      count_ = 0;
      open_ = true;
    }
  }
  std::string& out_;
  size_t flagAt_ = 0;
  unsigned count_ = 0;
  bool open_ = false;
};

}  // namespace

std::string SzddCompress(std::string_view data, char missingChar) {
  if (data.size() > 0x7FFFFFFFu) throw std::length_error("SZDD holds at most 2147483647 bytes");
  std::string out = std::string("SZDD\x88\xF0\x27\x33", 8);
  out.push_back('A');
  out.push_back(missingChar);
  uint32_t length = static_cast<uint32_t>(data.size());
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((length >> shift) & 0xFF));
  out.reserve(out.size() + data.size() + data.size() / 8 + 1);

  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  const size_t n = data.size();
  std::vector<int64_t> head(size_t{1} << kHashBits, -1);
  std::vector<int64_t> prev(n, -1);
  auto insert = [&](size_t i) {
    if (i + kMinMatch > n) return;
    uint32_t h = Hash3(bytes + i);
    prev[i] = head[h];
    head[h] = static_cast<int64_t>(i);
  };

  GroupWriter writer(out);
  size_t i = 0;
  while (i < n) {
    size_t bestLen = 0;
    size_t bestPos = 0;
    if (i + kMinMatch <= n) {
      const size_t limit = std::min(kMaxMatch, n - i);
      int64_t candidate = head[Hash3(bytes + i)];
      for (size_t depth = 0; candidate >= 0 && depth < kChainDepth; ++depth) {
        const auto c = static_cast<size_t>(candidate);
        if (i - c > kMaxDistance) break;
        size_t len = 0;
        while (len < limit && bytes[c + len] == bytes[i + len]) ++len;
        if (len > bestLen) {
          bestLen = len;
          bestPos = c;
          if (len == limit) break;
        }
        candidate = prev[c];
      }
    }
    if (bestLen >= kMinMatch) {
      writer.Match((kWindowStart + bestPos) % kWindowSize, bestLen);
      for (size_t k = 0; k < bestLen; ++k) insert(i + k);
      i += bestLen;
    } else {
      writer.Literal(bytes[i]);
      insert(i);
      ++i;
    }
  }
  return out;
}

}  // namespace sorana::install
