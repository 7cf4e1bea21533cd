// TempPrefix on Windows: the tests' "C:\..." paths are real paths of drive C:,
// which only a throw-away machine may lend (scripts/windows test runs in a fresh
// Wine prefix and says so with SORANA_TEST_SCRATCH_DRIVE_C=1). What a test adds
// at the top of C: is removed again when it ends.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <vector>

#include "platform/windows_system.h"
#include "support/temp_prefix.h"

namespace sorana::test {

namespace fs = std::filesystem;

namespace {

const fs::path kDriveC = L"C:\\";

std::set<fs::path> TopOfDriveC() {
  std::set<fs::path> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(kDriveC))
    names.insert(entry.path().filename());
  return names;
}

// Read-only entries would stop the removal. A link or junction is removed
// itself, never followed: what it leads to is not the test's to delete.
void RemoveTree(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    std::error_code ec;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
      entries.push_back(it->path());
    }
    for (const fs::path& entry : entries) RemoveTree(entry);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    RemoveDirectoryW(path.c_str());
  } else {
    DeleteFileW(path.c_str());
  }
}

std::set<fs::path>& DriveCBefore() {
  static std::set<fs::path> before;
  return before;
}

}  // namespace

TempPrefix::TempPrefix(std::string_view) {
  const char* allowed = std::getenv("SORANA_TEST_SCRATCH_DRIVE_C");
  if (allowed == nullptr || std::string_view(allowed) != "1") {
    throw std::runtime_error(
        "the Windows tests write to drive C: and run only where SORANA_TEST_SCRATCH_DRIVE_C=1");
  }
  DriveCBefore() = TopOfDriveC();
  static std::atomic<int> counter{0};
  base_ = fs::temp_directory_path() /
          ("sorana-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++));
  root_ = base_ / "prefix";
  scratch_ = base_ / "scratch";
  fs::create_directories(root_);
  fs::create_directories(scratch_);
  platform::SetActiveSystem(platform::WindowsSystem(root_));
}

TempPrefix::~TempPrefix() {
  const std::set<fs::path>& before = DriveCBefore();
  for (const fs::path& name : TopOfDriveC()) {
    if (!before.count(name)) RemoveTree(kDriveC / name);
  }
  RemoveTree(base_);
}

fs::path TempPrefix::HostC(std::string_view windowsPathOnC) const {
  std::string rest(windowsPathOnC.substr(windowsPathOnC.size() >= 2 ? 2 : 0));
  fs::path out = kDriveC;
  std::string part;
  auto flush = [&] {
    if (!part.empty()) out /= fs::u8path(part);
    part.clear();
  };
  for (char ch : rest) {
    if (ch == '\\' || ch == '/') {
      flush();
    } else {
      part += ch;
    }
  }
  flush();
  return out;
}

void TempPrefix::MakeReadOnly(const fs::path& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY)) {
    throw std::runtime_error("cannot make read-only: " + path.string());
  }
}

bool TempPrefix::IsReadOnly(const fs::path& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

}  // namespace sorana::test
