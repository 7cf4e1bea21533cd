// The pure text helpers on Windows paths, the same on every host.
#include "platform/win_path.h"

namespace sorana::platform {

namespace {

// Position of the last character of `path` that is one of `delimiters`, or npos.
size_t LastDelimiter(std::string_view path, std::string_view delimiters) {
  return path.find_last_of(delimiters);
}

}  // namespace

bool EndsWithBackslash(std::string_view path) { return !path.empty() && path.back() == '\\'; }

std::string IncludeTrailingBackslash(std::string path) {
  if (!EndsWithBackslash(path)) path += '\\';
  return path;
}

std::string ExcludeTrailingBackslash(std::string path) {
  if (EndsWithBackslash(path)) path.pop_back();
  return path;
}

std::string ExtractFilePath(std::string_view path) {
  size_t pos = LastDelimiter(path, "\\:");
  return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string ExtractFileName(std::string_view path) {
  size_t pos = LastDelimiter(path, "\\:");
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string ExtractFileExt(std::string_view path) {
  size_t pos = LastDelimiter(path, ".\\:");
  if (pos == std::string_view::npos || path[pos] != '.') return {};
  return std::string(path.substr(pos));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  size_t pos = LastDelimiter(path, ".\\:");
  if (pos == std::string_view::npos || path[pos] != '.') pos = path.size();
  std::string out(path.substr(0, pos));
  out += ext;
  return out;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& ch : out) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return out;
}

}  // namespace sorana::platform
