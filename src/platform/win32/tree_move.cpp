// Finishing the shell's move and copy. The shell's word on the outcome is not
// taken: each source item is looked at afterwards, and what is still to do is
// done here with the plain file API. Links and junctions are moved or left as
// entries of their own, never walked through.
#include "platform/win32/tree_move.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/crash_point.h"
#include "platform/file_system.h"
#include "platform/file_tree.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"
#include "platform/windows_system.h"

namespace sorana::platform::win32 {

namespace fs = std::filesystem;

namespace {

// The attribute bits SetFileAttributesW accepts back.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool IsPlainFolder(DWORD attributes) { return IsFolder(attributes) && !IsLink(attributes); }

// The absolute form with backslashes only, for comparing two paths.
std::wstring FullPath(const fs::path& path) {
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path.wstring();
  std::wstring full(size, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path.wstring();
  full.resize(length);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  return full;
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                              TRUE) == CSTR_EQUAL;
}

bool SamePath(const fs::path& a, const fs::path& b) { return SameText(FullPath(a), FullPath(b)); }

// The names in a folder, "." and ".." left out; fails when it cannot be listed.
Result<std::vector<std::wstring>> EntryNames(const fs::path& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find =
      FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return names;
    return SystemError(error);
  }
  do {
    std::wstring_view name(data.cFileName);
    if (name != L"." && name != L"..") names.emplace_back(name);
  } while (FindNextFileW(find, &data));
  const DWORD error = GetLastError();
  FindClose(find);
  if (error != ERROR_NO_MORE_FILES) return SystemError(error);
  return names;
}

// A read-only file in the way is replaced all the same, as the Linux host's rename does.
void AllowReplacing(const fs::path& target, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) return;
  DWORD kept = attributes & kKeptAttributes;
  CrashPoint();
  SetFileAttributesW(target.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
}

Status MoveEntry(const fs::path& source, const fs::path& target);

// Moves every entry of `source` into the existing folder `target`, then removes
// the emptied source.
Status MergeMove(const fs::path& source, const fs::path& target) {
  Result<std::vector<std::wstring>> names = EntryNames(source);
  if (!names) return names.error();
  Status ok;
  for (const std::wstring& name : *names) KeepFirstFailure(ok, MoveEntry(source / name, target / name));
  if (!ok) return ok;
  CrashPoint();
  if (!RemoveDirectoryW(source.c_str())) return LastSystemError();
  return {};
}

Status MoveEntry(const fs::path& source, const fs::path& target) {
  Result<uint32_t> from = host::AttributesOf(source);
  if (!from) return from.error();
  if (SamePath(source, target)) return {};
  Result<uint32_t> to = host::AttributesOf(target);
  if (to && IsPlainFolder(*from)) {
    if (!IsPlainFolder(*to)) return ErrnoError(EEXIST);
    return MergeMove(source, target);
  }
  if (to && IsFolder(*to)) return ErrnoError(EISDIR);
  if (to) AllowReplacing(target, *to);
  DWORD flags = MOVEFILE_REPLACE_EXISTING | (IsFolder(*from) ? 0 : MOVEFILE_COPY_ALLOWED);
  CrashPoint();
  if (MoveFileExW(source.c_str(), target.c_str(), flags)) return {};
  const DWORD error = GetLastError();
  if (error != ERROR_NOT_SAME_DEVICE || !IsPlainFolder(*from)) return SystemError(error);
  // A folder cannot be renamed onto another volume: it is made there and filled.
  CrashPoint();
  if (!CreateDirectoryW(target.c_str(), nullptr)) return LastSystemError();
  return MergeMove(source, target);
}

// Whether `target` is a whole copy of the file `source`: the same size and last-write time.
bool SameStamp(const fs::path& source, const fs::path& target) {
  WIN32_FILE_ATTRIBUTE_DATA a{}, b{};
  if (!GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &a) ||
      !GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &b))
    return false;
  return a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
         CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0;
}

Status CopyEntry(const fs::path& source, const fs::path& target) {
  Result<uint32_t> from = host::AttributesOf(source);
  if (!from) return from.error();
  if (SamePath(source, target)) return {};
  Result<uint32_t> to = host::AttributesOf(target);
  // A link is the shell's to copy; here it is only looked for.
  if (IsLink(*from)) return to ? Status() : Status(to.error());
  if (IsFolder(*from)) {
    if (to && !IsPlainFolder(*to)) return ErrnoError(ENOTDIR);
    if (!to) {
      CrashPoint();
      if (!CreateDirectoryW(target.c_str(), nullptr)) return LastSystemError();
    }
    Result<std::vector<std::wstring>> names = EntryNames(source);
    if (!names) return names.error();
    Status ok;
    for (const std::wstring& name : *names) KeepFirstFailure(ok, CopyEntry(source / name, target / name));
    return ok;
  }
  if (to && IsFolder(*to)) return ErrnoError(EISDIR);
  if (to && SameStamp(source, target)) return {};
  if (to) AllowReplacing(target, *to);
  return host::CopyRegularFile(source, target);
}

}  // namespace

std::vector<fs::path> ExpandSourceList(std::string_view sources, bool& allFound) {
  allFound = true;
  std::vector<fs::path> paths;
  for (const std::string& item : SourceListItems(sources)) {
    size_t cut = item.find_last_of("\\/");
    std::string folder = cut == std::string::npos ? std::string() : item.substr(0, cut + 1);
    if (item.find_first_of("*?", folder.size()) == std::string::npos) {
      std::optional<fs::path> path = ToHost(item);
      if (path && host::AttributesOf(*path)) {
        paths.push_back(*path);
      } else {
        allFound = false;
      }
      continue;
    }
    Result<std::vector<FindEntry>> entries = FindFiles(item);
    std::optional<fs::path> hostFolder = ToHost(folder);
    if (!hostFolder || !entries) {
      allFound = false;
      continue;
    }
    for (const FindEntry& entry : *entries) {
      std::optional<std::wstring> name = Widen(entry.name);
      if (name) paths.push_back(*hostFolder / *name);
    }
  }
  return paths;
}

bool ContainsFolder(const fs::path& source, const fs::path& target) {
  std::wstring outer = FullPath(source);
  std::wstring inner = FullPath(target);
  if (inner.size() < outer.size()) return false;
  if (!SameText(std::wstring_view(inner).substr(0, outer.size()), outer)) return false;
  return inner.size() == outer.size() || inner[outer.size()] == L'\\' || outer.back() == L'\\';
}

Status FinishMove(const fs::path& source, const fs::path& into) {
  fs::path target = into / source.filename();
  // Gone from its place: moved when it stands in `into`.
  if (!host::AttributesOf(source)) {
    Result<uint32_t> moved = host::AttributesOf(target);
    return moved ? Status() : Status(moved.error());
  }
  return MoveEntry(source, target);
}

Status FinishCopy(const fs::path& source, const fs::path& into) {
  return CopyEntry(source, into / source.filename());
}

}  // namespace sorana::platform::win32
