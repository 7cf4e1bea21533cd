#include "platform/file_tree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include "formats/ascii_case.h"
#include "formats/win_path_text.h"
#include "platform/crash_point.h"
#include "platform/file_system.h"
#include "platform/windows_system.h"

namespace sorana::platform {

namespace fs = std::filesystem;

namespace {

// Splits "C:\dir\name" into "C:\dir\" and "name" (also at a forward slash).
std::pair<std::string, std::string> SplitLast(std::string_view path) {
  size_t cut = path.find_last_of("\\/");
  if (cut == std::string_view::npos) return {std::string(), std::string(path)};
  return {std::string(path.substr(0, cut + 1)), std::string(path.substr(cut + 1))};
}

bool IsDriveLetter(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }

bool SameEntry(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// ---- Moves and copies -------------------------------------------------------

enum class Mode { kMove, kCopy };

// The entries of a host folder by their upper-cased names, so that a source
// replaces the target of the same Windows name whatever the case of either.
class FolderIndex {
 public:
  explicit FolderIndex(fs::path folder) : folder_(std::move(folder)) {
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
      Add(it->path().filename().string());
    }
  }
  // The existing entry named `name` (exactly, else ignoring case), or a new one so spelled.
  fs::path Resolve(const std::string& name) const {
    struct stat st {};
    fs::path exact = folder_ / name;
    if (lstat(exact.c_str(), &st) == 0) return exact;
    auto found = names_.find(formats::AsciiUpper(name));
    return found == names_.end() ? exact : folder_ / found->second;
  }
  void Add(const std::string& name) { names_.emplace(formats::AsciiUpper(name), name); }

 private:
  fs::path folder_;
  std::map<std::string, std::string> names_;
};

Status Transfer(const fs::path& source, const fs::path& target, Mode mode);

// Moves or copies every entry of `source` into the existing folder `target`;
// a move removes the emptied source folder.
Status MergeFolder(const fs::path& source, const fs::path& target, Mode mode) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(source, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  if (ec) return ErrnoError(ec.value());
  FolderIndex index(target);
  Status ok;
  for (const std::string& name : names) {
    fs::path destination = index.Resolve(name);
    KeepFirstFailure(ok, Transfer(source / name, destination, mode));
    index.Add(destination.filename().string());
  }
  if (mode == Mode::kMove && ok) {
    CrashPoint();
    if (rmdir(source.c_str()) != 0) return ErrnoError(errno);
  }
  return ok;
}

Status CopySymlink(const fs::path& source, const fs::path& target) {
  std::error_code ec;
  fs::path pointsTo = fs::read_symlink(source, ec);
  if (ec) return ErrnoError(ec.value());
  // Made beside the target and renamed over it, so that an existing file is replaced whole.
  fs::path temp = target.parent_path() / (".sorana-link-" + std::to_string(getpid()));
  unlink(temp.c_str());
  if (symlink(pointsTo.c_str(), temp.c_str()) != 0) return ErrnoError(errno);
  // A stop here leaves the fresh link beside an untouched target.
  CrashPoint();
  if (rename(temp.c_str(), target.c_str()) != 0) {
    int error = errno;
    unlink(temp.c_str());
    return ErrnoError(error);
  }
  return {};
}

Status CopyEntry(const fs::path& source, const struct stat& src, const fs::path& target) {
  if (S_ISLNK(src.st_mode)) return CopySymlink(source, target);
  if (S_ISREG(src.st_mode)) return host::CopyRegularFile(source, target);
  if (!S_ISDIR(src.st_mode)) return ErrnoError(EINVAL);  // devices, pipes, sockets
  struct stat dst {};
  bool exists = stat(target.c_str(), &dst) == 0;
  if (exists && !S_ISDIR(dst.st_mode)) return ErrnoError(ENOTDIR);
  if (!exists) {
    CrashPoint();
    if (mkdir(target.c_str(), 0700) != 0) return ErrnoError(errno);
  }
  Status ok = MergeFolder(source, target, Mode::kCopy);
  // The copy keeps the source's permissions, but stays usable by its owner.
  if (!exists) {
    CrashPoint();
    chmod(target.c_str(), (src.st_mode & 0777) | S_IRWXU);
  }
  return ok;
}

Status MoveEntry(const fs::path& source, const struct stat& src, const fs::path& target) {
  struct stat dst {};
  bool exists = lstat(target.c_str(), &dst) == 0;
  if (exists && SameEntry(src, dst)) return {};
  if (exists && S_ISDIR(src.st_mode)) {
    struct stat followed {};
    if (stat(target.c_str(), &followed) == 0 && S_ISDIR(followed.st_mode)) {
      return MergeFolder(source, target, Mode::kMove);
    }
    return ErrnoError(EEXIST);
  }
  if (exists && S_ISDIR(dst.st_mode)) return ErrnoError(EISDIR);
  // rename(2) replaces an existing file, read-only or not, as the silent shell move does.
  CrashPoint();
  if (rename(source.c_str(), target.c_str()) == 0) return {};
  if (errno != EXDEV) return ErrnoError(errno);
  // Across file systems: copy, and remove the source only when its copy is whole.
  if (Status copied = CopyEntry(source, src, target); !copied) return copied;
  CrashPoint();
  std::error_code ec;
  fs::remove_all(source, ec);
  if (ec) return ErrnoError(ec.value());
  return {};
}

Status Transfer(const fs::path& source, const fs::path& target, Mode mode) {
  struct stat src {};
  if (lstat(source.c_str(), &src) != 0) return ErrnoError(errno);
  if (mode == Mode::kMove) return MoveEntry(source, src, target);
  struct stat dst {};
  if (lstat(target.c_str(), &dst) == 0 && SameEntry(src, dst)) return {};
  return CopyEntry(source, src, target);
}

// Whether `inner` is `outer` or lies below it (both existing host paths).
bool IsWithin(const fs::path& inner, const fs::path& outer) {
  std::error_code ec;
  fs::path a = fs::weakly_canonical(inner, ec);
  fs::path b = fs::weakly_canonical(outer, ec);
  return std::mismatch(b.begin(), b.end(), a.begin(), a.end()).first == b.end();
}

// The host entries an item of a source list names: the entry itself, or every
// entry matching the wildcards of its last component. Fails (ENOENT) when the
// item or its folder is missing.
Result<std::vector<fs::path>> ExpandItem(const std::string& item) {
  auto [folder, name] = SplitLast(item);
  if (name.find_first_of("*?") == std::string::npos) {
    std::optional<fs::path> host = ToHost(item);
    struct stat st {};
    if (!host || lstat(host->c_str(), &st) != 0) return ErrnoError(ENOENT);
    return std::vector<fs::path>{*host};
  }
  Result<std::vector<FindEntry>> entries = FindFiles(item);
  std::optional<fs::path> hostFolder = ToHost(folder);
  if (!hostFolder || !entries) return ErrnoError(ENOENT);
  std::vector<fs::path> paths;
  paths.reserve(entries->size());
  for (const FindEntry& entry : *entries) paths.push_back(*hostFolder / entry.name);
  return paths;
}

Status TransferList(std::string_view sources, std::string_view destination, Mode mode) {
  std::string target = formats::ExcludeTrailingBackslash(std::string(destination));
  if (Status made = ForceDirectories(target); !made) return made;
  std::optional<fs::path> targetHost = ToHost(target);
  if (!targetHost) return ErrnoError(ENOENT);
  FolderIndex index(*targetHost);
  Status ok;
  for (const std::string& item : SourceListItems(sources)) {
    Result<std::vector<fs::path>> paths = ExpandItem(item);
    if (!paths) {
      KeepFirstFailure(ok, paths.error());
      continue;
    }
    for (const fs::path& source : *paths) {
      struct stat st {};
      // A folder cannot go into itself or below itself.
      if (lstat(source.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && IsWithin(*targetHost, source)) {
        KeepFirstFailure(ok, ErrnoError(EINVAL));
        continue;
      }
      fs::path destinationEntry = index.Resolve(source.filename().string());
      KeepFirstFailure(ok, Transfer(source, destinationEntry, mode));
      index.Add(destinationEntry.filename().string());
    }
  }
  return ok;
}

// ---- Read-only reset --------------------------------------------------------

bool IsDriveRoot(std::string_view folder) {
  return folder.size() == 3 && IsDriveLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\';
}

void WalkReadOnly(const std::string& folder, const ContinueQuestion& askContinue,
                  const AttributeSetter& setAttributes) {
  Result<std::vector<FindEntry>> entries = FindFiles(folder + "*");
  if (!entries) return;  // cannot be listed: not walked

  // The host lists no "." and "..": the folder itself and its parent come first,
  // where Windows lists them. A drive root has no parent.
  std::string self = IsDriveRoot(folder) ? folder : formats::ExcludeTrailingBackslash(folder);
  if (Result<uint32_t> attributes = GetAttributes(self)) {
    if (!ClearReadOnlyOf(self, *attributes, askContinue, setAttributes)) return;
  }
  if (!IsDriveRoot(folder)) {
    std::string parent = SplitLast(formats::ExcludeTrailingBackslash(folder)).first;
    std::string parentPath = IsDriveRoot(parent) ? parent : formats::ExcludeTrailingBackslash(parent);
    Result<uint32_t> attributes =
        parent.empty() ? Result<uint32_t>(ErrnoError(ENOENT)) : GetAttributes(parentPath);
    if (attributes && !ClearReadOnlyOf(parentPath, *attributes, askContinue, setAttributes)) return;
  }

  for (const FindEntry& entry : *entries) {
    // Links are left alone: they may lead out of the tree or back into it.
    if (entry.attributes & kAttrReparsePoint) continue;
    if (entry.attributes & kAttrDirectory) {
      WalkReadOnly(folder + entry.name + "\\", askContinue, setAttributes);
      continue;
    }
    if (!ClearReadOnlyOf(folder + entry.name, entry.attributes, askContinue, setAttributes)) return;
  }
}

// ---- Full paths -------------------------------------------------------------

std::optional<std::string> CurrentFolder() {
  std::error_code ec;
  fs::path current = fs::current_path(ec);
  if (ec) return std::nullopt;
  return ActiveSystem().ToWindows(current);
}

// "X:\a\.\b\..\c" -> "X:\a\c\"; "\\server\share\..\x" keeps its server and share.
std::string Normalize(const std::string& absolute) {
  std::vector<std::string> parts;
  size_t pos = 0;
  std::string root;
  bool unc = absolute.rfind("\\\\", 0) == 0;
  if (unc) {
    pos = 2;
    root = "\\\\";
  } else {
    root = absolute.substr(0, 2);
    pos = 2;
  }
  std::vector<std::string> rootParts;
  while (pos <= absolute.size()) {
    size_t end = std::min(absolute.find('\\', pos), absolute.size());
    std::string part = absolute.substr(pos, end - pos);
    pos = end + 1;
    if (unc && rootParts.size() < 2 && !part.empty()) {
      rootParts.push_back(part);
      continue;
    }
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();  // never above the root
      continue;
    }
    parts.push_back(part);
  }
  for (size_t i = 0; i < rootParts.size(); ++i) root += (i ? "\\" : "") + rootParts[i];
  std::string out = root + "\\";
  for (const std::string& part : parts) out += part + "\\";
  return out;
}

}  // namespace

std::string ExpandFolderPath(std::string_view path) {
  std::string text(path);
  std::replace(text.begin(), text.end(), '/', '\\');
  if (text.empty()) return {};
  bool hasDrive = text.size() >= 2 && IsDriveLetter(text[0]) && text[1] == ':';
  if ((hasDrive && (text.size() == 2 || text[2] == '\\')) || text.rfind("\\\\", 0) == 0)
    return Normalize(text);

  std::optional<std::string> current = CurrentFolder();
  if (!current) return {};
  if (hasDrive) {
    // "C:name" is relative to the current folder when that lies on the same drive.
    bool sameDrive = formats::AsciiUpper(current->substr(0, 1)) == formats::AsciiUpper(text.substr(0, 1));
    return Normalize(sameDrive ? *current + "\\" + text.substr(2)
                               : text.substr(0, 2) + "\\" + text.substr(2));
  }
  if (text[0] == '\\') return Normalize(current->substr(0, 2) + text);
  return Normalize(*current + "\\" + text);
}

void SetFileOperationOwner(void*) {}

Status MoveFiles(std::string_view sources, std::string_view destination) {
  return TransferList(sources, destination, Mode::kMove);
}

Status CopyFiles(std::string_view sources, std::string_view destination) {
  return TransferList(sources, destination, Mode::kCopy);
}

void ResetReadOnly(std::string_view folder, const ContinueQuestion& askContinue,
                   const AttributeSetter& setAttributes) {
  WalkReadOnly(formats::IncludeTrailingBackslash(std::string(folder)), askContinue, setAttributes);
}

}  // namespace sorana::platform
