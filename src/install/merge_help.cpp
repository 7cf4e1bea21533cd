#include "install/merge_help.h"

#include <cerrno>
#include <ctime>
#include <stdexcept>

#include "form/app_error.h"
#include "formats/ascii_case.h"
#include "formats/cp932.h"
#include "formats/win_path_text.h"
#include "platform/file_system.h"
#include "platform/windows_system.h"

namespace sorana::install {

namespace {

// "■" is 0x81 0xA1 in CP932; markers are whole lines, compared byte for byte.
constexpr std::string_view kStartMarker = "\x81\xA1#HELP_FILE_START#\x81\xA1";
constexpr std::string_view kEndMarker = "\x81\xA1#HELP_FILE_END#\x81\xA1";
constexpr std::string_view kTextExtensions[] = {".HTM", ".CSS", ".JS", ".HTML"};

// Texts from the bundle may be any bytes; messages must stay valid UTF-8.
std::string Printable(std::string_view cp932) {
  if (std::optional<std::string> utf8 = formats::Cp932ToUtf8(cp932)) return *utf8;
  std::string out;
  for (char c : cp932) out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
  return out;
}

[[noreturn]] void ConversionError(std::string_view text) {
  throw form::AppError("'" + Printable(text) + "' は整数ではありません。");
}

[[noreturn]] void CannotCreate(std::string_view path, const platform::HostError& cause) {
  throw form::AppError("ファイル " + std::string(path) + " を作成できません。", cause);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The integer reader of the time line: optional blanks, a sign, then decimal
// digits, or hexadecimal after "$" or "0x" (up to 32 bits). Nothing may follow.
uint32_t ReadTimeLine(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && line[i] == ' ') ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  unsigned base = 10;
  if (i < line.size() && line[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < line.size() && line[i] == '0' && (line[i + 1] == 'x' || line[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == line.size()) ConversionError(line);
  uint64_t value = 0;
  for (; i < line.size(); ++i) {
    int digit = HexDigit(line[i]);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) ConversionError(line);
    value = value * base + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFull) ConversionError(line);
  }
  if (base == 10) {
    // Decimal text must fit a 32-bit signed integer.
    if (negative ? value > 0x80000000ull : value > 0x7FFFFFFFull) ConversionError(line);
  }
  uint32_t bits = static_cast<uint32_t>(value);
  return negative ? 0u - bits : bits;
}

bool IsDotsAndBlanks(std::string_view part) {
  size_t dots = 0;
  for (char c : part) {
    if (c == '.') {
      ++dots;
    } else if (c != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

// A path below the help folder: relative, without a drive or stream colon,
// without a component that climbs out, and naming a file.
bool StaysBelow(std::string_view relative) {
  if (relative.empty() || relative.front() == '\\') return false;
  if (relative.back() == '\\') return false;
  if (relative.find(':') != std::string_view::npos) return false;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('\\', start);
    if (end == std::string_view::npos) end = relative.size();
    if (IsDotsAndBlanks(relative.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

// The Windows path a record writes, or empty when the record is to be skipped.
std::string TargetOf(std::string_view folder, std::string_view pathLine) {
  std::optional<std::string> relative = formats::Cp932ToUtf8(pathLine);
  if (!relative) return {};
  for (char& c : *relative) {
    if (c == '/') c = '\\';
  }
  if (!StaysBelow(*relative)) return {};
  return std::string(folder) + *relative;
}

bool IsTextFile(std::string_view target) {
  const std::string extension = formats::AsciiUpper(formats::ExtractFileExt(target));
  for (std::string_view text : kTextExtensions) {
    if (extension == text) return true;
  }
  return false;
}

std::string JoinWithCrLf(const std::vector<std::string_view>& lines) {
  size_t size = 0;
  for (std::string_view line : lines) size += line.size() + 2;
  std::string out;
  out.reserve(size);
  for (std::string_view line : lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

void WriteRecord(const std::string& target, uint32_t stamp, const std::vector<std::string_view>& content) {
  // A folder that cannot be made skips the record; it is no failure.
  if (!platform::ForceDirectories(formats::ExtractFilePath(target))) return;
  if (IsTextFile(target)) {
    if (platform::Status written = platform::WriteFileAtomic(target, JoinWithCrLf(content)); !written) {
      CannotCreate(target, written.error());
    }
  } else {
    HexTextToFile(JoinWithCrLf(content), target);
  }
  if (platform::FileExists(target)) {
    if (std::optional<int64_t> when = FatTimeToUnix(stamp)) platform::SetWriteTime(target, *when);
  }
}

}  // namespace

std::vector<std::string_view> SplitLines(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

std::optional<int64_t> FatTimeToUnix(uint32_t packed) {
  const uint32_t date = packed >> 16;
  const uint32_t time = packed & 0xFFFF;
  std::tm tm{};
  tm.tm_year = static_cast<int>(1980 + (date >> 9)) - 1900;
  tm.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>(date & 0x1F);
  tm.tm_hour = static_cast<int>(time >> 11);
  tm.tm_min = static_cast<int>((time >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>(time & 0x1F) * 2;
  tm.tm_isdst = -1;
  if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 ||
      tm.tm_sec > 59) {
    return std::nullopt;
  }
  const std::tm asked = tm;
  const time_t when = std::mktime(&tm);
  // mktime moves 31 February into March: such a stamp is no date.
  if (when == static_cast<time_t>(-1) || tm.tm_mday != asked.tm_mday || tm.tm_mon != asked.tm_mon) {
    return std::nullopt;
  }
  return static_cast<int64_t>(when);
}

void HexTextToFile(std::string_view text, std::string_view path) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  std::string bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    int high = HexDigit(text[i]);
    int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) ConversionError("$" + std::string(text.substr(i, 2)));
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  if (platform::Status written = platform::WriteFileAtomic(path, bytes); !written) {
    CannotCreate(path, written.error());
  }
}

bool MergeHelp(std::string_view bundle, std::string_view destination, form::UpdateWindow& window) {
  const std::string folder = formats::IncludeTrailingBackslash(std::string(destination));
  platform::Result<std::string> contents = platform::ReadWholeFile(bundle);
  if (!contents)
    throw form::AppError("ファイル " + std::string(bundle) + " を開けません。", contents.error());
  const std::vector<std::string_view> lines = SplitLines(*contents);

  std::optional<size_t> start;
  std::string target;
  uint32_t stamp = 0;
  std::vector<std::string_view> content;
  for (size_t index = 0; index < lines.size(); ++index) {
    const std::string_view line = lines[index];
    if (line == kStartMarker) {
      // A record still open is dropped; its time stamp carries over.
      start = index;
      target.clear();
      content.clear();
    } else if (line == kEndMarker) {
      if (start && !target.empty()) {
        WriteRecord(target, stamp, content);
        window.ProcessMessages(0);
      }
      start.reset();
      target.clear();
      stamp = 0;
      content.clear();
    } else if (start) {
      if (index == *start + 1) {
        target = TargetOf(folder, line);
      } else if (index == *start + 2) {
        stamp = ReadTimeLine(line);
      } else if (!target.empty()) {
        content.push_back(line);
      }
    }
  }
  return true;
}

}  // namespace sorana::install
