#include "platform/library.h"

#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace sorana::platform {

LibraryHandle OpenLibraryAt(std::string_view path) {
  return dlopen(std::string(path).c_str(), RTLD_NOW | RTLD_LOCAL);
}

LibraryHandle OpenLibrary(std::string_view baseName) {
  const std::string file = "lib" + std::string(baseName) + ".so";
  if (LibraryHandle library = OpenLibraryAt(file)) return library;
  // The bare name follows the standard search order, which uses the program's
  // run path; where an interposed dlopen (a sanitizer's) hides that run path,
  // the program's own folder is tried explicitly.
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return nullptr;
  return OpenLibraryAt((self.parent_path() / file).string());
}

void* LibrarySymbol(LibraryHandle library, const char* symbol) {
  return library != nullptr ? dlsym(library, symbol) : nullptr;
}

void CloseLibrary(LibraryHandle library) {
  if (library != nullptr) dlclose(library);
}

// libunlha32.so takes the system's UTF-8 texts as they are.
std::optional<std::string> ToLibraryText(std::string_view utf8) { return std::string(utf8); }
std::string FromLibraryText(std::string_view text) { return std::string(text); }

}  // namespace sorana::platform
