// Program-file version reader: any bytes as a program file. The text is empty
// or "v" and four decimal numbers of 16 bits joined by ".".
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "formats/version_resource.h"
#include "support/finding.h"

namespace {

bool IsVersionText(const std::string& text) {
  if (text.size() < 8 || text[0] != 'v') return false;
  size_t pos = 1;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && (pos >= text.size() || text[pos++] != '.')) return false;
    size_t start = pos;
    unsigned value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 6) {
      value = value * 10 + static_cast<unsigned>(text[pos++] - '0');
    }
    if (pos == start || value > 0xFFFF || (text[start] == '0' && pos - start > 1)) return false;
  }
  return pos == text.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = sorana::formats::VersionTextFromImage(std::span<const uint8_t>(data, size));
  if (!text.empty() && !IsVersionText(text)) sorana::fuzz::Finding("malformed version text \"" + text + "\"");
  return 0;
}
