#include "tools/site_content.h"

#include <algorithm>
#include <array>
#include <optional>

#include "formats/cp932.h"
#include "tools/site_error.h"

namespace sorana::tools {

namespace {

// Words of the records that electronic-delivery data carries.
constexpr std::array<std::string_view, 24> kWords = {
    "工事番号", "工事名称", "発注者",     "受注者",   "写真区分", "撮影箇所", "撮影年月日", "工種",
    "種別",     "細別",     "図面名",     "図面番号", "縮尺",     "施工管理", "出来形",     "品質管理",
    "測点",     "地質",     "ボーリング", "調査位置", "基準年度", "適用要領", "備考",       "代表写真"};

constexpr std::array<std::string_view, 8> kTags = {"PHOTO", "DRAWING", "BORING", "INDEX",
                                                   "CONST", "MEET",    "PLAN",   "OTHRS"};

uint64_t Fnv1a(std::string_view text) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (char ch : text) {
    hash ^= static_cast<unsigned char>(ch);
    hash *= 0x100000001B3ull;
  }
  return hash;
}

// Record text in CP932; the words are converted once.
const std::array<std::string, kWords.size()>& Cp932Words() {
  static const std::array<std::string, kWords.size()> words = [] {
    std::array<std::string, kWords.size()> out;
    for (size_t i = 0; i < kWords.size(); ++i) out[i] = ToCp932(kWords[i]);
    return out;
  }();
  return words;
}

void AppendRecords(ContentRandom& random, std::string& out, size_t size) {
  const auto& words = Cp932Words();
  while (out.size() < size) {
    std::string_view tag = kTags[random.Below(kTags.size())];
    out += "<";
    out += tag;
    out += " no=\"" + std::to_string(random.Below(10000)) + "\">";
    out += words[random.Below(words.size())];
    out += "=";
    out += words[random.Below(words.size())];
    out += std::to_string(random.Between(2001, 2024)) + "-" + std::to_string(random.Between(1, 12));
    out += "</";
    out += tag;
    out += ">\r\n";
  }
}

void AppendTable(ContentRandom& random, std::string& out, size_t size) {
  while (out.size() + 4 <= size) {
    uint32_t value = static_cast<uint32_t>(random.Below(random.Below(8) == 0 ? 65536 : 256));
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
}

void AppendNoise(ContentRandom& random, std::string& out, size_t size) {
  while (out.size() < size) {
    uint64_t value = random.Next();
    for (int i = 0; i < 8 && out.size() < size; ++i)
      out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
}

}  // namespace

ContentRandom::ContentRandom(std::string_view seed) : state_(Fnv1a(seed)) {}

uint64_t ContentRandom::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::string ToCp932(std::string_view utf8) {
  std::optional<std::string> bytes = formats::Utf8ToCp932(utf8);
  if (!bytes) throw SiteError("text has a character that CP932 lacks: " + std::string(utf8));
  return *bytes;
}

std::string MixedData(std::string_view seed, size_t size) {
  ContentRandom random(seed);
  std::string out;
  out.reserve(size);
  while (out.size() < size) {
    size_t chunk = std::min<size_t>(size, out.size() + random.Between(512, 8192));
    switch (random.Below(10)) {
      case 0:
      case 1:
        AppendNoise(random, out, chunk);
        break;
      case 2:
      case 3:
      case 4:
        AppendTable(random, out, chunk);
        break;
      default:
        AppendRecords(random, out, chunk);
        break;
    }
  }
  out.resize(size);
  return out;
}

std::string ProgramImage(const VersionParts& version, std::string_view seed, size_t size) {
  std::string image = MakeProgramFile(version[0], version[1], version[2], version[3]);
  if (size > image.size()) image += MixedData(seed, size - image.size());
  return image;
}

std::string PluginImage(std::string_view seed, size_t size) {
  std::string image = MakeProgramFileWithoutVersion();
  if (size > image.size()) image += MixedData(seed, size - image.size());
  return image;
}

std::string RecordText(std::string_view seed, size_t size) {
  ContentRandom random(seed);
  std::string out;
  AppendRecords(random, out, size);
  return out;
}

}  // namespace sorana::tools
