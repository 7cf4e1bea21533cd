#include "platform/library.h"

#include <optional>
#include <string>

#include "formats/cp932.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace sorana::platform {

namespace {

LibraryHandle Load(std::string_view name) {
  std::optional<std::wstring> wide = win32::Widen(name);
  if (!wide) return nullptr;
  return reinterpret_cast<LibraryHandle>(LoadLibraryW(wide->c_str()));
}

}  // namespace

LibraryHandle OpenLibraryAt(std::string_view path) { return Load(path); }

LibraryHandle OpenLibrary(std::string_view baseName) {
  // A bare name: the loader looks in the program's folder before the system's.
  std::string file(baseName);
  for (char& c : file) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return Load(file + ".DLL");
}

void* LibrarySymbol(LibraryHandle library, const char* symbol) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), symbol));
}

void CloseLibrary(LibraryHandle library) {
  if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

std::optional<std::string> ToLibraryText(std::string_view utf8) { return formats::Utf8ToCp932(utf8); }

std::string FromLibraryText(std::string_view text) {
  if (std::optional<std::string> utf8 = formats::Cp932ToUtf8(text)) return *utf8;
  std::string out;
  for (char c : text) out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
  return out;
}

}  // namespace sorana::platform
