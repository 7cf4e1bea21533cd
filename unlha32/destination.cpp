#include "unlha32/destination.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "unlha32/unlha32.h"

namespace unlha32 {
namespace fs = std::filesystem;
namespace {

// True when `inner` is `outer` or lies below it (both canonical).
bool IsInside(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // trailing separator
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

// Entries of `folder` whose name equals `name` ignoring ASCII case; the
// smallest such name, so the choice does not depend on the listing order.
std::optional<std::string> MatchIgnoringCase(const fs::path& folder, const std::string& name) {
  std::error_code error;
  std::optional<std::string> best;
  const std::string wanted = sorana::platform::AsciiUpper(name);
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::string entry = it->path().filename().string();
    if (sorana::platform::AsciiUpper(entry) == wanted && (!best || entry < *best)) best = entry;
  }
  return best;
}

Placement Failure(int code, std::string problem) { return Placement{code, {}, std::move(problem)}; }

}  // namespace

Destination Destination::InPrefix(sorana::platform::WinePrefix prefix, std::string windowsFolder) {
  Destination destination;
  destination.prefix_ = std::move(prefix);
  destination.windowsFolder_ = sorana::platform::ExcludeTrailingBackslash(std::move(windowsFolder));
  return destination;
}

Destination Destination::OnHost(fs::path folder) {
  Destination destination;
  destination.root_ = std::move(folder);
  return destination;
}

Placement Destination::Prepare() {
  if (prefix_) {
    auto mapped = prefix_->ToHost(windowsFolder_);
    if (!mapped) {
      return Failure(UNLHA_ERROR_MAKE_DIRECTORY,
                     "destination folder " + windowsFolder_ + " is not on a drive");
    }
    root_ = *mapped;
  }
  std::error_code error;
  fs::create_directories(root_, error);
  if (!fs::is_directory(root_, error)) {
    return Failure(UNLHA_ERROR_MAKE_DIRECTORY, "cannot create destination folder " + root_.string());
  }
  return Placement{0, root_, {}};
}

std::optional<fs::path> Destination::Map(const std::vector<std::string>& components) const {
  if (!prefix_) {
    fs::path path = root_;
    for (const std::string& name : components) {
      struct stat info;
      if (lstat((path / name).c_str(), &info) == 0) {
        path /= name;
      } else {
        path /= MatchIgnoringCase(path, name).value_or(name);
      }
    }
    return path;
  }
  std::string windowsPath = windowsFolder_;
  for (const std::string& name : components) windowsPath += "\\" + name;
  auto mapped = prefix_->ToHost(windowsPath);
  if (!mapped) return std::nullopt;
  // The member must map to exactly one entry per component below the root.
  fs::path path = root_;
  auto it = mapped->begin();
  for (auto r = root_.begin(); r != root_.end(); ++r, ++it) {
    if (r->empty()) continue;
    if (it == mapped->end() || *it != *r) return std::nullopt;
  }
  size_t count = 0;
  for (; it != mapped->end(); ++it, ++count) {
    if (it->empty() || *it == "." || *it == "..") return std::nullopt;
    path /= *it;
  }
  if (count != components.size()) return std::nullopt;
  return path;
}

Placement Destination::Place(const std::vector<std::string>& components, bool isFolder) const {
  auto mapped = Map(components);
  if (!mapped) return Failure(UNLHA_ERROR_FILE_OPEN, "cannot map the path below the destination");

  std::error_code error;
  const fs::path canonicalRoot = fs::canonical(root_, error);
  if (error) return Failure(UNLHA_ERROR_MAKE_DIRECTORY, "destination folder is gone");

  fs::path relative = mapped->lexically_relative(root_);
  const size_t folders = isFolder ? components.size() : components.size() - 1;
  fs::path current = root_;
  size_t index = 0;
  for (const fs::path& part : relative) {
    current /= part;
    struct stat info;
    bool exists = lstat(current.c_str(), &info) == 0;
    // A link in place of the file itself is replaced by the rename, not followed.
    if (exists && S_ISLNK(info.st_mode) && index < folders) {
      fs::path target = fs::weakly_canonical(current, error);
      if (error || !IsInside(target, canonicalRoot)) {
        return Failure(UNLHA_ERROR_UNSAFE_MEMBER, "a symbolic link leads out of the destination");
      }
      if (stat(current.c_str(), &info) != 0) {
        return Failure(UNLHA_ERROR_MAKE_DIRECTORY, "a symbolic link on the path is broken");
      }
    }
    if (index < folders) {
      if (!exists) {
        if (mkdir(current.c_str(), 0777) != 0 && errno != EEXIST) {
          return Failure(UNLHA_ERROR_MAKE_DIRECTORY,
                         "cannot create folder " + current.string() + ": " + std::strerror(errno));
        }
      } else if (!S_ISDIR(info.st_mode)) {
        return Failure(UNLHA_ERROR_MAKE_DIRECTORY,
                       "a file stands where folder " + current.string() + " belongs");
      }
    } else if (exists && S_ISDIR(info.st_mode)) {
      return Failure(UNLHA_ERROR_FILE_OPEN, "a folder stands where file " + current.string() + " belongs");
    }
    ++index;
  }
  return Placement{0, *mapped, {}};
}

Placement Destination::PlaceLink(const std::vector<std::string>& components, const std::string& target) const {
  Placement place = Place(components, false);
  if (place.code != 0) return place;
  std::error_code error;
  const fs::path canonicalRoot = fs::canonical(root_, error);
  if (error) return Failure(UNLHA_ERROR_MAKE_DIRECTORY, "destination folder is gone");
  const fs::path folder = place.path.parent_path();
  const fs::path resolved = fs::weakly_canonical(folder / target, error);
  if (error || !IsInside(resolved, canonicalRoot)) {
    return Failure(UNLHA_ERROR_UNSAFE_MEMBER, "the link leads out of the destination");
  }
  // Made under a fresh name and renamed into place, as files are.
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path temporary = folder / (".unlha32-link-" + std::to_string(getpid()) + "-" + std::to_string(attempt));
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return Failure(UNLHA_ERROR_FILE_OPEN, "cannot create link " + place.path.string() + ": " + std::strerror(errno));
    }
    if (rename(temporary.c_str(), place.path.c_str()) != 0) {
      int code = errno;
      unlink(temporary.c_str());
      return Failure(UNLHA_ERROR_CANNOT_WRITE, "cannot create link " + place.path.string() + ": " + std::strerror(code));
    }
    return place;
  }
  return Failure(UNLHA_ERROR_FILE_OPEN, "cannot create link " + place.path.string());
}

}  // namespace unlha32
