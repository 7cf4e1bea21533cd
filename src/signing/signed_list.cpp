#include "signing/signed_list.h"

#include <charconv>
#include <limits>
#include <vector>

namespace sorana::signing {

namespace {

constexpr std::string_view kHeader = "sorana signed list 1";
constexpr size_t kMostFiles = 8192;
constexpr size_t kLongestName = 255;
constexpr int64_t kLargestFile = int64_t{1} << 40;

// A decimal number without sign or leading zeros, at most `limit`.
std::optional<uint64_t> Number(std::string_view text, uint64_t limit) {
  if (text.empty() || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > limit) return std::nullopt;
  return value;
}

std::optional<Sha256> Digest(std::string_view text) {
  if (text.size() != 64) return std::nullopt;
  Sha256 digest{};
  for (size_t i = 0; i < 64; ++i) {
    const char ch = text[i];
    int nibble;
    if (ch >= '0' && ch <= '9') {
      nibble = ch - '0';
    } else if (ch >= 'a' && ch <= 'f') {
      nibble = ch - 'a' + 10;
    } else {
      return std::nullopt;
    }
    digest[i / 2] = static_cast<uint8_t>(digest[i / 2] << 4 | nibble);
  }
  return digest;
}

// A plain file name in well-formed UTF-8, without controls or path separators.
bool PlainName(std::string_view name) {
  if (name.empty() || name.size() > kLongestName || name == "." || name == "..") return false;
  for (size_t i = 0; i < name.size();) {
    const auto lead = static_cast<unsigned char>(name[i]);
    size_t length = lead < 0x80             ? 1
                    : (lead & 0xE0) == 0xC0 ? 2
                    : (lead & 0xF0) == 0xE0 ? 3
                    : (lead & 0xF8) == 0xF0 ? 4
                                            : 0;
    if (length == 0 || i + length > name.size() || (length == 2 && lead < 0xC2) || lead > 0xF4) return false;
    if (length == 1 && (lead < 0x20 || lead == 0x7F || lead == '/' || lead == '\\')) return false;
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(name[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    // Overlong forms and surrogates are no characters.
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

// "/sorana/20240410/": letters, digits, '.', '_', '-' between slashes.
bool PhasePath(std::string_view path) {
  if (path.size() < 3 || path.size() > kLongestName || path.front() != '/' || path.back() != '/')
    return false;
  if (path.find("//") != std::string_view::npos || path.find("/./") != std::string_view::npos ||
      path.find("/../") != std::string_view::npos) {
    return false;
  }
  for (char ch : path) {
    const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                       ch == '/' || ch == '.' || ch == '_' || ch == '-';
    if (!plain) return false;
  }
  return true;
}

// `line` is "<key> <value>": the value.
std::optional<std::string_view> Field(std::string_view line, std::string_view key) {
  if (line.size() <= key.size() + 1 || !line.starts_with(key) || line[key.size()] != ' ') return std::nullopt;
  return line.substr(key.size() + 1);
}

}  // namespace

std::string HexOf(const Sha256& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

std::optional<SignedList> ParseSignedList(std::string_view text, std::string* why) {
  size_t lineNumber = 0;
  auto fail = [&](const std::string& what) -> std::optional<SignedList> {
    if (why) *why = "line " + std::to_string(lineNumber) + ": " + what;
    return std::nullopt;
  };
  if (text.size() > static_cast<size_t>(kLongestList)) return fail("the list is too long");
  if (text.empty() || text.back() != '\n') return fail("the list does not end with a line end");
  std::vector<std::string_view> lines;
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }

  SignedList list;
  constexpr size_t kHeaderLines = 4;
  if (lines.size() < kHeaderLines) return fail("the list has no header");
  lineNumber = 1;
  if (lines[0] != kHeader) return fail("not a signed list of this format");
  lineNumber = 2;
  std::optional<std::string_view> phase = Field(lines[1], "phase");
  if (!phase || !PhasePath(*phase)) return fail("no phase");
  list.phase = std::string(*phase);
  lineNumber = 3;
  std::optional<std::string_view> sequence = Field(lines[2], "sequence");
  std::optional<uint64_t> sequenceNumber =
      sequence ? Number(*sequence, static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) : std::nullopt;
  if (!sequenceNumber) return fail("no sequence number");
  list.sequence = *sequenceNumber;
  lineNumber = 4;
  std::optional<std::string_view> expires = Field(lines[3], "expires");
  std::optional<uint64_t> expiry =
      expires ? Number(*expires, static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) : std::nullopt;
  if (!expiry) return fail("no expiry time");
  list.expires = static_cast<int64_t>(*expiry);

  if (lines.size() - kHeaderLines > kMostFiles) return fail("too many files");
  for (size_t i = kHeaderLines; i < lines.size(); ++i) {
    lineNumber = i + 1;
    std::optional<std::string_view> rest = Field(lines[i], "file");
    if (!rest) return fail("not a file line");
    const size_t sizeEnd = rest->find(' ');
    if (sizeEnd == std::string_view::npos) return fail("no digest");
    std::optional<uint64_t> size = Number(rest->substr(0, sizeEnd), kLargestFile);
    if (!size) return fail("bad size");
    std::string_view afterSize = rest->substr(sizeEnd + 1);
    if (afterSize.size() < 66 || afterSize[64] != ' ') return fail("no name");
    std::optional<Sha256> digest = Digest(afterSize.substr(0, 64));
    if (!digest) return fail("bad digest");
    std::string_view name = afterSize.substr(65);
    if (!PlainName(name)) return fail("bad name");
    if (!list.files.emplace(std::string(name), ListedFile{static_cast<int64_t>(*size), *digest}).second)
      return fail("a name listed twice");
  }
  return list;
}

std::string FormatSignedList(const SignedList& list) {
  std::string text = std::string(kHeader) + "\nphase " + list.phase + "\nsequence " +
                     std::to_string(list.sequence) + "\nexpires " + std::to_string(list.expires) + "\n";
  for (const auto& [name, file] : list.files) {
    text += "file " + std::to_string(file.size) + " " + HexOf(file.sha256) + " " + name + "\n";
  }
  return text;
}

}  // namespace sorana::signing
