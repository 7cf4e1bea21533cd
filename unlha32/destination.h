// The destination folder of an extraction and the host paths of members below it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/windows_system.h"

namespace unlha32 {

using sorana::platform::host::PathOfUtf8;
using sorana::platform::host::Utf8OfPath;

struct Placement {
  int code = 0;  // 0, or the UNLHA_ERROR_* code of the problem
  std::filesystem::path path;
  std::string problem;
};

class Destination {
 public:
  // A folder of `prefix` given as a Windows path (a trailing backslash is
  // ignored); member paths below it are mapped by the prefix, so existing
  // folders match case-insensitively.
  static Destination InPrefix(sorana::platform::WindowsSystem prefix, std::string windowsFolder);
  // A host folder; existing entries below it match ASCII-case-insensitively.
  static Destination OnHost(std::filesystem::path folder);

  // Maps the folder and creates it (with parents) when missing.
  Placement Prepare();

  // Host path of a member, creating its missing parent folders (and the member
  // itself when `isFolder`). Refuses to go through an existing symbolic link or
  // junction that leads out of the destination. Call Prepare first.
  Placement Place(const std::vector<std::string>& components, bool isFolder) const;

  // Places a symbolic link to `target` ('/'-separated, relative to the link's
  // folder), replacing what stands there. Refuses a link that, with the links
  // already in the destination followed, leads out of it.
  Placement PlaceLink(const std::vector<std::string>& components, const std::string& target) const;

 private:
  Destination() = default;
  std::optional<std::filesystem::path> Map(const std::vector<std::string>& components) const;

  std::optional<sorana::platform::WindowsSystem> prefix_;
  std::string windowsFolder_;
  std::filesystem::path root_;
};

}  // namespace unlha32
