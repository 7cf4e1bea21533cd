// The pure text helpers on Windows paths, the same on every host.
#include "formats/win_path_text.h"

namespace sorana::formats {

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

std::pair<std::string_view, std::string_view> SplitLastComponent(std::string_view path) {
  size_t cut = path.find_last_of("\\/");
  if (cut == std::string_view::npos) return {std::string_view(), path};
  return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

std::vector<std::string_view> ResolvedComponents(std::string_view rest) {
  auto separator = [](char ch) { return ch == '\\' || ch == '/'; };
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos < rest.size()) {
    while (pos < rest.size() && separator(rest[pos])) ++pos;
    size_t end = pos;
    while (end < rest.size() && !separator(rest[end])) ++end;
    std::string_view part = rest.substr(pos, end - pos);
    pos = end;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  return parts;
}

}  // namespace sorana::formats
