// The file-tree operations that are the same on every host: they stand on
// the host's own FindFiles, RemoveFile, RenameFile and read-only walk.
#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "formats/ascii_case.h"
#include "formats/win_path_text.h"
#include "platform/file_system.h"
#include "platform/file_tree.h"
#include "platform/windows_system.h"

namespace sorana::platform {

std::vector<std::string> SourceListItems(std::string_view sources) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start < sources.size()) {
    size_t end = std::min(sources.find('\0', start), sources.size());
    std::string item = formats::ExcludeTrailingBackslash(std::string(sources.substr(start, end - start)));
    start = end + 1;
    if (item.empty()) break;
    items.push_back(std::move(item));
  }
  return items;
}

std::string ListFolderEntries(std::string_view pattern) {
  const size_t cut = pattern.find_last_of("\\/");
  const std::string folder(cut == std::string_view::npos ? std::string_view() : pattern.substr(0, cut + 1));
  std::string list;
  for (const FindEntry& entry : FindFiles(pattern).value_or(std::vector<FindEntry>{})) {
    list += folder;
    list += entry.name;
    list += '\0';
  }
  return list;
}

void ResetReadOnly(std::string_view folder, const ContinueQuestion& askContinue) {
  ResetReadOnly(folder, askContinue,
                [](std::string_view path, uint32_t attributes) { return SetAttributes(path, attributes); });
}

bool ClearReadOnlyOf(const std::string& path, uint32_t attributes, const ContinueQuestion& askContinue,
                     const AttributeSetter& setAttributes) {
  if ((attributes & kAttrReadOnly) == 0) return true;
  if (setAttributes(path, attributes & ~kAttrReadOnly)) return true;
  return !askContinue || askContinue();
}

namespace {

bool IsDocument(const std::string& name) {
  const std::string ext = formats::AsciiUpper(formats::ExtractFileExt(name));
  return ext == ".SPI" || ext == ".DOC" || ext == ".XLS";
}

bool IsBackup(const std::string& name) {
  return formats::AsciiUpper(formats::ExtractFileExt(name)) == ".BAK";
}

// The files of the folder that `matches`: none in a missing folder; fails when
// it cannot be listed.
template <typename Match>
Result<std::vector<std::string>> FilesWhere(const std::string& base, Match matches) {
  Result<std::vector<FindEntry>> entries = FindFiles(base + "*.*");
  std::vector<std::string> paths;
  if (!entries && entries.error().code == ENOENT) return paths;
  if (!entries) return entries.error();
  for (const FindEntry& entry : *entries) {
    if ((entry.attributes & kAttrDirectory) == 0 && matches(entry.name)) paths.push_back(base + entry.name);
  }
  return paths;
}

// Removes every file of the folder that `matches`, going on after a failure.
template <typename Match>
Status RemoveFilesWhere(const std::string& base, Match matches) {
  Result<std::vector<std::string>> paths = FilesWhere(base, matches);
  if (!paths) return paths.error();
  Status result;
  for (const std::string& path : *paths) KeepFirstFailure(result, RemoveFile(path));
  return result;
}

}  // namespace

Status RemoveBackups(std::string_view folder) { return RemoveFilesWhere(std::string(folder), IsBackup); }

Status RemoveDocuments(std::string_view folder) { return RemoveFilesWhere(std::string(folder), IsDocument); }

Status RenameDocumentsToBackups(std::string_view folder) {
  Result<std::vector<std::string>> paths = FilesWhere(std::string(folder), IsDocument);
  if (!paths) return paths.error();
  Status result;
  for (const std::string& path : *paths)
    KeepFirstFailure(result, RenameFile(path, formats::ChangeFileExt(path, ".BAK")));
  return result;
}

Status BackupDocuments(std::string_view folder) {
  // A fresh listing for the second pass: the first changed the folder.
  Status result = RemoveBackups(folder);
  KeepFirstFailure(result, RenameDocumentsToBackups(folder));
  return result;
}

}  // namespace sorana::platform
