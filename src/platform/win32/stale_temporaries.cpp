// The sweep of a stopped run's temporaries on Windows. Links and junctions
// are never walked through; a link temporary is removed itself (a link to a
// folder with RemoveDirectoryW, which leaves its target alone).
//
// Not a crash point: what it removes nobody reads, and a stop in the middle
// only leaves the rest to the next sweep.
#include <filesystem>
#include <string_view>

#include "formats/name_shape.h"
#include "platform/file_tree.h"
#include "platform/win32/windows_api.h"
#include "platform/windows_system.h"

namespace sorana::platform {

namespace fs = std::filesystem;

namespace {

// The names as they are made, '#' a run of decimal digits: AtomicFile's and
// the copies' (win32/atomic_file.cpp), and PlaceSymbolicLink's (win32/links.cpp).
constexpr std::wstring_view kFileShapes[] = {L".sorana-#-#.tmp"};
constexpr std::wstring_view kLinkShapes[] = {L".sorana-link-#-#"};

bool RemoveEntry(const fs::path& path, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryW(path.c_str()) != 0;
  // A copy of a read-only file is read-only from the start.
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(path.c_str()) != 0;
}

size_t Sweep(const fs::path& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find =
      FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return 0;
  size_t removed = 0;
  do {
    const std::wstring_view name(data.cFileName);
    if (name == L"." || name == L"..") continue;
    const DWORD attributes = data.dwFileAttributes;
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool folderEntry = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folderEntry && !link) {
      removed += Sweep(folder / name);
      continue;
    }
    const bool ours = link ? formats::HasAnyNameShape<wchar_t>(name, kLinkShapes)
                           : formats::HasAnyNameShape<wchar_t>(name, kFileShapes);
    if (ours && RemoveEntry(folder / name, attributes)) ++removed;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return removed;
}

}  // namespace

size_t RemoveStaleTemporaries(std::string_view folder) {
  std::optional<fs::path> host = ToHost(folder);
  return host ? Sweep(*host) : 0;
}

}  // namespace sorana::platform
