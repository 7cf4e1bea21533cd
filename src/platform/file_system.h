// File-system operations on Windows path texts, with Windows semantics
// (CopyFileA, DeleteFileA, MoveFileA, attributes, folder creation, enumeration).
//
// Every operation maps its path through the active system. A failing operation
// returns the HostError that says why (result.h), which the installation's
// failure box shows; a path that names no drive fails with ENOENT.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace sorana::platform {

// Windows file attribute bits used by the system.
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;
// A symbolic link on the host (Wine reports these as reparse points); tree walks
// do not follow them, so a link to a parent folder cannot make them loop.
inline constexpr uint32_t kAttrReparsePoint = 0x400;

bool FileExists(std::string_view path);       // a file (not a folder)
bool DirectoryExists(std::string_view path);  // a folder
bool PathExists(std::string_view path);       // either
// The size of a file (links followed); fails when it is missing or no file.
Result<uint64_t> FileSize(std::string_view path);

// CopyFileA: copies a file's bytes; with failIfExists false an existing target is
// replaced (a read-only target makes the copy fail, as on Windows). The target is
// written under a temporary name and renamed into place.
Status CopyFileTo(std::string_view from, std::string_view to, bool failIfExists);
Status RemoveFile(std::string_view path);  // files only; a read-only file is not deleted
// MoveFileA: renames a file or folder; fails when the target exists.
Status RenameFile(std::string_view from, std::string_view to);
// Creates the folder with all missing parents; succeeds when it exists afterwards.
Status ForceDirectories(std::string_view path);
Status MakeDirectory(std::string_view path);

// Attributes as Wine maps them: read-only is a missing owner-write permission,
// folders carry kAttrDirectory, plain files kAttrArchive. Fails when missing.
Result<uint32_t> GetAttributes(std::string_view path);
// Only the read-only bit takes effect on this host; the others are accepted.
Status SetAttributes(std::string_view path, uint32_t attributes);

struct FindEntry {
  std::string name;     // UTF-8 host name
  uint32_t attributes;  // as GetAttributes
};
// Entries of the folder part of `pattern` whose names match its last component
// ("*", "*.*", "?" wildcards, case-insensitive, "*.*" also matching names without
// a dot, as on Windows). No "." or "..". Order: as the host lists them.
// No match gives an empty list; a folder that cannot be read fails.
Result<std::vector<FindEntry>> FindFiles(std::string_view pattern);

// Whole-file reads and atomic writes (temporary file, fsync, rename). An existing
// file keeps its permissions; a read-only one is not overwritten (EACCES).
Result<std::string> ReadWholeFile(std::string_view path);
Status WriteFileAtomic(std::string_view path, std::string_view bytes);

// Sets the last-write time from seconds since the Unix epoch.
Status SetWriteTime(std::string_view path, int64_t unixSeconds);

// Building blocks on host paths, shared with the file-tree operations. They
// fail like the operations above.
namespace host {
// Copies a regular file's bytes, permissions and modification time to `to`
// through a temporary file in its folder. An existing `to` is replaced, or with
// replaceExisting false makes the copy fail (EEXIST) and stays as it was.
Status CopyRegularFile(const std::filesystem::path& from, const std::filesystem::path& to,
                     bool replaceExisting = true);
// rename(2) that fails with EEXIST instead of replacing an existing target.
Status RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);
// Windows attributes of a host entry (symbolic links are not followed for the
// reparse bit, but are for the rest); fails when it does not exist.
Result<uint32_t> AttributesOf(const std::filesystem::path& path);
// Replaces `file` by `bytes` through a temporary file in its folder (fsync,
// rename, folder fsync), keeping an existing file's permissions.
Status WriteFileAtomic(const std::filesystem::path& file, std::string_view bytes);
// Host paths and UTF-8 texts, the same on every host (on Windows a path's
// narrow text would be the ANSI code page's, and may not convert at all).
inline std::filesystem::path PathOfUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8OfPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}
}  // namespace host

}  // namespace sorana::platform
