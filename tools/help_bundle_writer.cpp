#include "tools/help_bundle_writer.h"

#include "formats/ascii_case.h"
#include "formats/win_path_text.h"
#include "platform/windows_system.h"
#include "tools/site_content.h"
#include "tools/site_error.h"

namespace sorana::tools {

namespace {

constexpr std::string_view kStartMarker = "\x81\xA1#HELP_FILE_START#\x81\xA1";
constexpr std::string_view kEndMarker = "\x81\xA1#HELP_FILE_END#\x81\xA1";
constexpr std::string_view kLineEnd = "\r\n";

void AppendTextLines(std::string& out, const HelpFile& file) {
  std::string_view rest = file.bytes;
  if (!rest.empty() && !rest.ends_with(kLineEnd)) {
    throw SiteError("help page does not end with CR LF: " + file.path);
  }
  while (!rest.empty()) {
    size_t end = rest.find(kLineEnd);
    std::string_view line = rest.substr(0, end);
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos || line == kStartMarker ||
        line == kEndMarker) {
      throw SiteError("help page cannot travel as bundle lines: " + file.path);
    }
    out.append(line);
    out.append(kLineEnd);
    rest.remove_prefix(end + kLineEnd.size());
  }
}

void AppendHexLine(std::string& out, std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out.reserve(out.size() + 2 * bytes.size() + 2);
  for (char ch : bytes) {
    auto byte = static_cast<unsigned char>(ch);
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
  }
  out.append(kLineEnd);
}

}  // namespace

bool IsHelpTextFile(std::string_view path) {
  std::string ext = formats::AsciiUpper(formats::ExtractFileExt(path));
  return ext == ".HTM" || ext == ".HTML" || ext == ".CSS" || ext == ".JS";
}

uint32_t PackFatTime(int year, int month, int day, int hour, int minute, int second) {
  uint32_t date = (static_cast<uint32_t>(year - 1980) << 9) | (static_cast<uint32_t>(month) << 5) |
                  static_cast<uint32_t>(day);
  uint32_t time = (static_cast<uint32_t>(hour) << 11) | (static_cast<uint32_t>(minute) << 5) |
                  static_cast<uint32_t>(second / 2);
  return (date << 16) | time;
}

std::string WriteHelpBundle(const std::vector<HelpFile>& files) {
  // Lines outside records are ignored by the merge: a heading for people.
  std::string out = ToCp932("; ソラナギ ヘルプ更新") + std::string(kLineEnd) + std::string(kLineEnd);
  for (const HelpFile& file : files) {
    out.append(kStartMarker);
    out.append(kLineEnd);
    out.append(ToCp932(file.path));
    out.append(kLineEnd);
    out.append(std::to_string(file.fatTime));
    out.append(kLineEnd);
    if (IsHelpTextFile(file.path)) {
      AppendTextLines(out, file);
    } else {
      AppendHexLine(out, file.bytes);
    }
    out.append(kEndMarker);
    out.append(kLineEnd);
  }
  return out;
}

}  // namespace sorana::tools
