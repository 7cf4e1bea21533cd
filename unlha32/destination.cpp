#include "unlha32/destination.h"

#include <cstdint>
#include <cstring>
#include <system_error>

#include "formats/ascii_case.h"
#include "formats/win_path_text.h"
#include "platform/file_system.h"
#include "platform/links.h"
#include "unlha32/unlha32.h"

namespace unlha32 {
namespace fs = std::filesystem;
namespace host = sorana::platform::host;
namespace platform = sorana::platform;

namespace {

bool Is(uint32_t attributes, uint32_t bit) { return (attributes & bit) != 0; }

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
  const std::string wanted = sorana::formats::AsciiUpper(name);
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::string entry = Utf8OfPath(it->path().filename());
    if (sorana::formats::AsciiUpper(entry) == wanted && (!best || entry < *best)) best = entry;
  }
  return best;
}

Placement Failure(int code, std::string problem) { return Placement{code, {}, std::move(problem)}; }

}  // namespace

Destination Destination::InPrefix(sorana::platform::WindowsSystem prefix, std::string windowsFolder) {
  Destination destination;
  destination.prefix_ = std::move(prefix);
  destination.windowsFolder_ = sorana::formats::ExcludeTrailingBackslash(std::move(windowsFolder));
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
    return Failure(UNLHA_ERROR_MAKE_DIRECTORY, "cannot create destination folder " + Utf8OfPath(root_));
  }
  return Placement{0, root_, {}};
}

std::optional<fs::path> Destination::Map(const std::vector<std::string>& components) const {
  if (!prefix_) {
    fs::path path = root_;
    for (const std::string& name : components) {
      if (host::AttributesOf(path / PathOfUtf8(name))) {
        path /= PathOfUtf8(name);
      } else {
        path /= PathOfUtf8(MatchIgnoringCase(path, name).value_or(name));
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

  const platform::Result<fs::path> finalRoot = host::FinalPath(root_);
  if (!finalRoot || !host::AttributesOf(*finalRoot)) {
    return Failure(UNLHA_ERROR_MAKE_DIRECTORY, "destination folder is gone");
  }

  fs::path relative = mapped->lexically_relative(root_);
  const size_t folders = isFolder ? components.size() : components.size() - 1;
  fs::path current = root_;
  size_t index = 0;
  for (const fs::path& part : relative) {
    current /= part;
    platform::Result<uint32_t> attributes = host::AttributesOf(current);
    // A link in place of the file itself is replaced by the rename, not followed.
    if (attributes && Is(*attributes, sorana::platform::kAttrReparsePoint) && index < folders) {
      platform::Result<fs::path> target = host::FinalPath(current);
      if (!target || !IsInside(*target, *finalRoot)) {
        return Failure(UNLHA_ERROR_UNSAFE_MEMBER, "a symbolic link leads out of the destination");
      }
      if (!host::AttributesOf(*target)) {
        return Failure(UNLHA_ERROR_MAKE_DIRECTORY, "a symbolic link on the path is broken");
      }
    }
    const bool isDirectory = attributes && Is(*attributes, sorana::platform::kAttrDirectory);
    if (index < folders) {
      if (!attributes) {
        std::error_code error;
        fs::create_directory(current, error);
        if (error) {
          return Failure(UNLHA_ERROR_MAKE_DIRECTORY,
                         "cannot create folder " + Utf8OfPath(current) + ": " + error.message());
        }
      } else if (!isDirectory) {
        return Failure(UNLHA_ERROR_MAKE_DIRECTORY,
                       "a file stands where folder " + Utf8OfPath(current) + " belongs");
      }
    } else if (isDirectory) {
      return Failure(UNLHA_ERROR_FILE_OPEN, "a folder stands where file " + Utf8OfPath(current) + " belongs");
    }
    ++index;
  }
  return Placement{0, *mapped, {}};
}

Placement Destination::PlaceLink(const std::vector<std::string>& components,
                                 const std::string& target) const {
  Placement place = Place(components, false);
  if (place.code != 0) return place;
  const platform::Result<fs::path> finalRoot = host::FinalPath(root_);
  if (!finalRoot) return Failure(UNLHA_ERROR_MAKE_DIRECTORY, "destination folder is gone");
  // The target is read from where the link's folder really is (a folder link
  // on the way included), as the system follows it.
  const platform::Result<fs::path> folder = host::FinalPath(place.path.parent_path());
  const platform::Result<fs::path> resolved = folder ? host::FinalPath(*folder / PathOfUtf8(target)) : folder;
  if (!resolved || !IsInside(*resolved, *finalRoot)) {
    return Failure(UNLHA_ERROR_UNSAFE_MEMBER, "the link leads out of the destination");
  }
  if (platform::Status placed = host::PlaceSymbolicLink(place.path, target); !placed) {
    return Failure(UNLHA_ERROR_FILE_OPEN, "cannot create link " + Utf8OfPath(place.path) + ": " +
                                              std::strerror(placed.error().code));
  }
  return place;
}

}  // namespace unlha32
