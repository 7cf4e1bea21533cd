// Folders that only their owner can change: the download folders and the
// temporary folder they live in. Another user who could create, replace or
// write into such a folder could plant a symbolic link or swap a component
// between the updater's check and its copy.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/result.h"

namespace sorana::platform {

enum class FolderTrust {
  Private,          // a real folder of ours that nobody else may write
  Missing,          // nothing there
  SymbolicLink,     // the entry itself is a link (never followed)
  NotAFolder,       // a file, device, pipe, ...
  ForeignOwner,     // belongs to another user
  WritableByOthers  // group or others may write into it
};

namespace host {
// Judges the entry at `folder` itself (lstat); Missing when it cannot be looked at.
FolderTrust JudgeFolder(const std::filesystem::path& folder);
// As JudgeFolder, but follows links: for a folder reached through a path the
// user chose (the prefix's temporary folder may be a link to a folder of theirs).
FolderTrust JudgeResolvedFolder(const std::filesystem::path& folder);
}  // namespace host

// Creates the folder (Windows path) with any missing parents; the folder itself
// is made with mode 0700. Then judges what stands there: a link, a file, a
// folder of another user or one that others may write is left as it is and
// reported. Fails when the path names no drive or the folder could not be
// created or looked at.
Result<FolderTrust> ForcePrivateFolder(std::string_view path);

}  // namespace sorana::platform
