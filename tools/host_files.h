// Writing the tool's output files on the host.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace sorana::tools {

enum class Flush { Now, Later };

// Replaces `path` by `bytes` through a temporary file in the same folder, so a
// reader (or an interrupted run) sees the old file or the whole new one. The
// parent folders are created. With Flush::Later the data reaches the disk at
// the caller's FlushFileSystem, one call for many files instead of one each.
// Throws SiteError naming the path on failure.
void WriteHostFile(const std::filesystem::path& path, std::string_view bytes, Flush flush = Flush::Now);

// Writes the file system holding `path` to disk; throws SiteError on failure.
void FlushFileSystem(const std::filesystem::path& path);

// Creates the folder with its parents; throws SiteError when it cannot.
void MakeHostFolder(const std::filesystem::path& path);

// The file's bytes; throws SiteError when it cannot be read.
std::string ReadHostFile(const std::filesystem::path& path);

}  // namespace sorana::tools
