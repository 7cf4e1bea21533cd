// File-tree operations on Windows: the shell's own silent move and copy
// (finished where the shell fell short), the system's full-path service, and
// the walks over FindFirstFileExW.
#include "platform/file_tree.h"
#include "formats/win_path_text.h"

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/crash_point.h"
#include "platform/file_system.h"
#include "platform/win32/tree_move.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"
#include "platform/windows_system.h"

#include <shellapi.h>

namespace sorana::platform {

namespace {

// No confirmation, no progress, folders made without asking; the shell shows
// its own box for an error.
constexpr FILEOP_FLAGS kShellFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
static_assert(kShellFlags == 0x0214);

// The owner of the shell's error boxes (SetFileOperationOwner).
std::atomic<HWND> shellOwner{nullptr};

// The shell's own operation first, as Windows does it (with its own box for an
// error); then every item is made to end where it belongs, and the result says
// whether it does: Wine's shell leaves replacements and merges undone and
// reports missing items as done. The first failure is the one reported.
Status ShellTransfer(UINT function, std::string_view sources, std::string_view destination) {
  // The shell takes a missing destination of a single item as that item's new
  // name; made first, it is always the folder the items go into.
  const std::string folder = formats::ExcludeTrailingBackslash(std::string(destination));
  if (Status made = ForceDirectories(folder); !made) return made;
  std::optional<std::filesystem::path> into = ToHost(folder);
  // Both lists end in two NULs: the items' own and one more.
  std::optional<std::wstring> from = win32::Widen(sources);
  std::optional<std::wstring> to = win32::Widen(destination);
  if (!into || !from || !to) return ErrnoError(ENOENT);
  // Listed before the shell moves anything away.
  bool allFound = true;
  const std::vector<std::filesystem::path> items = win32::ExpandSourceList(sources, allFound);
  Status ok;
  if (!allFound) ok = ErrnoError(ENOENT);
  from->append(2, L'\0');
  to->append(2, L'\0');
  SHFILEOPSTRUCTW operation{};
  operation.hwnd = shellOwner.load();
  operation.wFunc = function;
  operation.pFrom = from->c_str();
  operation.pTo = to->c_str();
  operation.fFlags = kShellFlags;
  operation.fAnyOperationsAborted = FALSE;
  // The shell's own steps are out of reach: one point stands for them all.
  CrashPoint();
  SHFileOperationW(&operation);
  for (const std::filesystem::path& item : items) {
    // A folder cannot go into itself or below itself.
    if (win32::ContainsFolder(item, *into)) {
      KeepFirstFailure(ok, ErrnoError(EINVAL));
      continue;
    }
    KeepFirstFailure(ok,
                     function == FO_MOVE ? win32::FinishMove(item, *into) : win32::FinishCopy(item, *into));
  }
  return ok;
}

// The walk as the system lists a folder: "." and ".." come with its entries and
// so clear the folder itself and its parent.
void WalkReadOnly(const std::string& folder, const ContinueQuestion& askContinue,
                  const AttributeSetter& setAttributes) {
  std::optional<std::filesystem::path> host = ToHost(folder);
  if (!host) return;
  WIN32_FIND_DATAW data;
  HANDLE find =
      FindFirstFileExW((*host / L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return;  // cannot be listed: not walked
  do {
    std::optional<std::string> name = win32::Narrow(data.cFileName);
    if (!name) continue;
    const uint32_t attributes = data.dwFileAttributes;
    bool dots = *name == "." || *name == "..";
    if ((attributes & kAttrDirectory) && !dots) {
      // Junctions and links may lead out of the tree or back into it.
      if (!(attributes & kAttrReparsePoint)) WalkReadOnly(folder + *name + "\\", askContinue, setAttributes);
      continue;
    }
    if (!ClearReadOnlyOf(folder + *name, attributes, askContinue, setAttributes)) break;
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

}  // namespace

std::string ExpandFolderPath(std::string_view path) {
  std::optional<std::wstring> wide = win32::Widen(path);
  if (!wide || wide->empty()) return {};
  DWORD size = GetFullPathNameW(wide->c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::wstring full(size, L'\0');
  DWORD length = GetFullPathNameW(wide->c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return {};
  full.resize(length);
  std::optional<std::string> text = win32::Narrow(full);
  return text ? formats::IncludeTrailingBackslash(std::move(*text)) : std::string();
}

void SetFileOperationOwner(void* window) { shellOwner.store(static_cast<HWND>(window)); }

Status MoveFiles(std::string_view sources, std::string_view destination) {
  return ShellTransfer(FO_MOVE, sources, destination);
}

Status CopyFiles(std::string_view sources, std::string_view destination) {
  return ShellTransfer(FO_COPY, sources, destination);
}

void ResetReadOnly(std::string_view folder, const ContinueQuestion& askContinue,
                   const AttributeSetter& setAttributes) {
  WalkReadOnly(formats::IncludeTrailingBackslash(std::string(folder)), askContinue, setAttributes);
}

}  // namespace sorana::platform
