#include "scratch.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "write_guard.h"

namespace sorana::fuzz {

namespace fs = std::filesystem;

namespace {

fs::path g_ownedScratch;  // removed at exit when this process made it

void RemoveOwnedScratch() {
  sorana_write_guard_disarm();
  std::error_code ignored;
  if (!g_ownedScratch.empty()) fs::remove_all(g_ownedScratch, ignored);
}

fs::path MakeScratchRoot() {
  if (const char* given = std::getenv("SORANA_FUZZ_SCRATCH"); given != nullptr && *given != '\0') {
    fs::create_directories(given);
    return fs::canonical(given);
  }
  std::string pattern = (fs::temp_directory_path() / "sorana-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) Finding("cannot create a scratch folder in the temporary folder");
  g_ownedScratch = fs::canonical(pattern);
  std::atexit(RemoveOwnedScratch);
  return g_ownedScratch;
}

}  // namespace

const fs::path& ScratchRoot() {
  static const fs::path root = MakeScratchRoot();
  return root;
}

fs::path FreshFolder(std::string_view name) {
  fs::path folder = ScratchRoot() / name;
  std::error_code error;
  fs::remove_all(folder, error);
  fs::create_directories(folder, error);
  if (error) Finding("cannot create scratch folder " + folder.string() + ": " + error.message());
  return folder;
}

void WriteHostFile(const fs::path& file, std::string_view bytes) {
  std::error_code ignored;
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), ignored);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) Finding("cannot write scratch file " + file.string());
}

std::optional<std::string> ReadHostFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<fs::path> TreeOf(const fs::path& folder) {
  std::vector<fs::path> entries;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    entries.push_back(it->path().lexically_relative(folder));
  }
  return entries;
}

platform::WindowsSystem MakeScratchPrefix(std::string_view name) {
  fs::path root = FreshFolder(name);
  fs::create_directories(root / "drive_c");
  fs::create_directories(root / "dosdevices");
  fs::create_symlink("../drive_c", root / "dosdevices" / "c:");
  for (const char* hive : {"system.reg", "user.reg"}) {
    WriteHostFile(root / hive,
                  "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n");
  }
  platform::WindowsSystem prefix(root);
  platform::SetActiveSystem(prefix);
  return prefix;
}

WriteGuard::WriteGuard(std::initializer_list<fs::path> allowed) {
  std::vector<std::string> folders;
  for (const fs::path& folder : allowed) folders.push_back(folder.string());
  // The fuzzer writes its crash report there, possibly while the guard is armed;
  // run by hand without the variable, that is the working folder.
  if (const char* artifacts = std::getenv("SORANA_FUZZ_ARTIFACTS");
      artifacts != nullptr && *artifacts != '\0') {
    folders.emplace_back(artifacts);
  } else {
    folders.push_back(fs::current_path().string());
  }
  std::vector<const char*> texts;
  for (const std::string& folder : folders) texts.push_back(folder.c_str());
  sorana_write_guard_arm(texts.data(), texts.size());
}

WriteGuard::~WriteGuard() {
  sorana_write_guard_disarm();
  if (const char* leftover = sorana_write_guard_leftover())
    Finding(std::string("temporary file left: ") + leftover);
}

}  // namespace sorana::fuzz
