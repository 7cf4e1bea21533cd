#include "formats/cp932.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace sorana::formats {

namespace {

// One converter per direction and thread: opening glibc's converters is far
// slower than a conversion, and profile parsing converts many short names.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  std::optional<std::string> Convert(std::string_view in) {
    if (!Valid()) return std::nullopt;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    std::string out;
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    size_t written = 0;
    while (true) {
      char* dst = out.data() + written;
      size_t dstLeft = out.size() - written;
      size_t rc = iconv(cd_, srcLeft ? &src : nullptr, &srcLeft, &dst, &dstLeft);
      written = out.size() - dstLeft;
      if (rc != static_cast<size_t>(-1)) {
        if (srcLeft == 0) break;
        continue;
      }
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      return std::nullopt;  // EILSEQ or EINVAL: not valid in the source encoding
    }
    // Without //TRANSLIT or //IGNORE glibc reports a character the target
    // lacks as EILSEQ, so reaching here means every character converted.
    out.resize(written);
    return out;
  }

 private:
  // iconv_open reports failure as (iconv_t)-1.
  bool Valid() const { return reinterpret_cast<intptr_t>(cd_) != -1; }
  iconv_t cd_;
};

}  // namespace

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
  thread_local Converter converter("UTF-8", "CP932");
  return converter.Convert(cp932);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  thread_local Converter converter("CP932", "UTF-8");
  return converter.Convert(utf8);
}

}  // namespace sorana::formats
