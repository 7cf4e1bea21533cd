#include "platform/profile.h"

#include <cerrno>
#include <optional>

#include "formats/profile_text.h"
#include "platform/file_system.h"

namespace sorana::platform {

std::string ReadProfileString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view fallback) {
  Result<std::string> contents = ReadWholeFile(file);
  if (!contents) return std::string(fallback);
  bool found = false;
  std::string value = formats::ProfileLookup(*contents, section, key, &found);
  return found ? value : std::string(fallback);
}

int ReadProfileInt(std::string_view file, std::string_view section, std::string_view key, int fallback) {
  Result<std::string> contents = ReadWholeFile(file);
  if (!contents) return fallback;
  bool found = false;
  std::string value = formats::ProfileLookup(*contents, section, key, &found);
  if (!found) return fallback;
  return formats::ProfileNumber(value).value_or(fallback);
}

Status StoreProfileString(std::string_view file, std::string_view section, std::string_view key,
                          std::string_view value) {
  // Checked before the file is touched.
  if (!formats::ProfileWithStoredEntry({}, section, key, value)) {
    return ErrnoError(EINVAL, "a profile cannot hold [" + std::string(section) + "] " + std::string(key));
  }
  std::string contents;
  if (Result<std::string> existing = ReadWholeFile(file)) {
    contents = std::move(*existing);
  } else if (PathExists(file)) {
    return existing.error();  // there but unreadable: never replace it with a new file
  }
  std::optional<std::string> updated = formats::ProfileWithStoredEntry(contents, section, key, value);
  if (!updated) return ErrnoError(EINVAL, "the entry cannot be stored in " + std::string(file));
  return WriteFileAtomic(file, *updated);
}

}  // namespace sorana::platform
