#include "platform/profile.h"

#include <optional>

#include "formats/profile_text.h"
#include "platform/file_system.h"

namespace sorana::platform {

std::string ReadProfileString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view fallback) {
  std::optional<std::string> contents = ReadWholeFile(file);
  if (!contents) return std::string(fallback);
  bool found = false;
  std::string value = formats::ProfileLookup(*contents, section, key, &found);
  return found ? value : std::string(fallback);
}

int ReadProfileInt(std::string_view file, std::string_view section, std::string_view key, int fallback) {
  std::optional<std::string> contents = ReadWholeFile(file);
  if (!contents) return fallback;
  bool found = false;
  std::string value = formats::ProfileLookup(*contents, section, key, &found);
  if (!found) return fallback;
  return formats::ProfileNumber(value).value_or(fallback);
}

bool StoreProfileString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view value) {
  if (!formats::ProfileWithStoredEntry({}, section, key, value)) return false;  // before touching the file
  std::string contents;
  if (std::optional<std::string> existing = ReadWholeFile(file)) {
    contents = std::move(*existing);
  } else if (PathExists(file)) {
    return false;  // there but unreadable: never replace it with a new file
  }
  std::optional<std::string> updated = formats::ProfileWithStoredEntry(contents, section, key, value);
  return updated && WriteFileAtomic(file, *updated);
}

}  // namespace sorana::platform
