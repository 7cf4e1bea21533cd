// File-tree operations of the driver and the installation: silent moves and
// copies of source lists, listing a folder as a source list, clearing read-only
// attributes through a tree, turning plug-in documents into backups, the
// absolute form of a folder path, and the sweep of a stopped run's temporaries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace sorana::platform {

// Absolute form of a Windows path with "." and ".." resolved, with exactly one
// trailing backslash. A relative path is taken against the host's current folder
// as the prefix names it; the empty text when that folder maps to no drive, or
// for an empty path.
std::string ExpandFolderPath(std::string_view path);

// Source list: paths each followed by one NUL. Every item (wildcards in its last
// component expanded) is moved or copied into `destination`, folders with their
// contents; the destination is created; existing files are replaced; nothing is
// asked. Fails after any failure (moves across file systems still work).
Status MoveFiles(std::string_view sources, std::string_view destination);
Status CopyFiles(std::string_view sources, std::string_view destination);
// The window that owns the boxes in which Windows' shell reports its own errors
// of MoveFiles and CopyFiles (a window handle); nullptr: none. Other hosts show
// no such boxes and ignore it.
void SetFileOperationOwner(void* window);
// The items of a source list, as the shell reads it: each ends in one NUL, an
// empty item ends the list, and a trailing backslash is dropped.
std::vector<std::string> SourceListItems(std::string_view sources);

// Every entry matching the pattern (folder part + wildcard name), as a source
// list: folder part + name + NUL each; the empty text when nothing matches.
std::string ListFolderEntries(std::string_view pattern);

// Asked when an attribute cannot be changed: true to go on, false to skip the
// rest of the current folder.
using ContinueQuestion = std::function<bool()>;
// Clears read-only through the tree below `folder` (ends in a backslash): each
// file, each walked folder and its parent. Symbolic links are not followed, and
// a folder that cannot be listed is not walked.
void ResetReadOnly(std::string_view folder, const ContinueQuestion& askContinue);
// The same with another attribute setter in place of SetAttributes (tests
// use it to make a change fail, which permissions cannot do for root).
using AttributeSetter = std::function<Status(std::string_view path, uint32_t attributes)>;
void ResetReadOnly(std::string_view folder, const ContinueQuestion& askContinue,
                   const AttributeSetter& setAttributes);
// One step of that walk, the same on every host: clears read-only of one entry
// that has `attributes`; false when the user chose to stop the walk of the
// current folder.
bool ClearReadOnlyOf(const std::string& path, uint32_t attributes, const ContinueQuestion& askContinue,
                     const AttributeSetter& setAttributes);

// In `folder` (ends in a backslash): deletes every *.BAK, then renames every
// .SPI, .DOC and .XLS to .BAK. Succeeds only when every delete and rename did.
Status BackupDocuments(std::string_view folder);

// Its two passes, for a caller that must run each only once: deletes every
// *.BAK; renames every .SPI, .DOC and .XLS to .BAK. Each succeeds only when
// every delete or rename did, goes on after a failure and reports the first.
Status RemoveBackups(std::string_view folder);
Status RenameDocumentsToBackups(std::string_view folder);
// Deletes every .SPI, .DOC and .XLS of the folder; succeeds when all are gone.
Status RemoveDocuments(std::string_view folder);

// Removes the temporary files our atomic writer and moves leave behind when a run is
// stopped dead (".sorana-<pid>-<n>-<ns>" on POSIX, ".sorana-<pid>-<n>.tmp" on Windows,
// and the links ".sorana-link-<pid>" and ".sorana-link-<pid>-<n>"), in `folder` (ends in
// a backslash) and every folder below it; links are not followed. Returns how many were
// removed. Only those exact shapes go, and only as they are made: files as regular
// files, the link temporaries as links (removed themselves); folders and look-alikes stay.
size_t RemoveStaleTemporaries(std::string_view folder);

}  // namespace sorana::platform
