#include "archive/lhactrls.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "archive/lhactrls_testing.h"
#include "platform/library.h"

namespace sorana::archive {
namespace {

constexpr std::array<const char*, 41> kEntryNames = {
    "UnlhaGetVersion",
    "UnlhaGetSubVersion",
    "UnlhaGetRunning",
    "UnlhaGetBackGroundMode",
    "UnlhaSetBackGroundMode",
    "UnlhaGetCursorMode",
    "UnlhaSetCursorMode",
    "UnlhaGetCursorInterval",
    "UnlhaSetCursorInterval",
    "Unlha",
    "UnlhaCheckArchive",
    "UnlhaConfigDialog",
    "UnlhaGetFileCount",
    "UnlhaOpenArchive",
    "UnlhaCloseArchive",
    "UnlhaFindFirst",
    "UnlhaFindNext",
    "UnlhaGetArcFileName",
    "UnlhaGetArcFileSize",
    "UnlhaGetArcOriginalSize",
    "UnlhaGetArcCompressedSize",
    "UnlhaGetArcRatio",
    "UnlhaGetArcDate",
    "UnlhaGetArcTime",
    "UnlhaGetArcOSType",
    "UnlhaGetFileName",
    "UnlhaGetMethod",
    "UnlhaGetOriginalSize",
    "UnlhaGetCompressedSize",
    "UnlhaGetRatio",
    "UnlhaGetDate",
    "UnlhaGetTime",
    "UnlhaGetWriteTime",
    "UnlhaGetAccessTime",
    "UnlhaGetCreateTime",
    "UnlhaGetCRC",
    "UnlhaGetAttribute",
    "UnlhaGetOSType",
    "UnlhaQueryFunctionList",
    "UnlhaSetOwnerWindow",
    "UnlhaClearOwnerWindow",
};

constexpr size_t kUnlhaGetVersionSlot = 0;
constexpr size_t kUnlhaSlot = 9;

// The library's entries use the standard calling convention of library interfaces.
using UnlhaGetVersionEntry = unsigned short(SORANA_LIBRARY_CALL*)();
using UnlhaEntry = int(SORANA_LIBRARY_CALL*)(void* hwnd, const char* cmdLine, char* output,
                                             unsigned long size);

// Process-wide module state, set up before the window exists. A null slot
// stands for the entry's fall-back.
struct Binding {
  platform::LibraryHandle handle = nullptr;
  std::array<void*, kEntryNames.size()> slots{};
  std::function<void(std::string_view)> panic;
  char output[256] = {};  // ExtractLha's 255-character output buffer
  std::string lastOutput;
};

Binding& State() {
  static Binding binding;
  return binding;
}

// The fall-back's box: the entry's name, ": LHA.DLL not loaded" and ".".
void ShowNotLoaded(size_t slot) {
  std::string text = std::string(kEntryNames[slot]) + ": LHA.DLL not loaded" + ".";
  if (State().panic) {
    State().panic(text);
  } else {
    std::fprintf(stderr, "PANIC!! %s\n", text.c_str());
  }
}

void ResetSlots() { State().slots.fill(nullptr); }

}  // namespace

void SetPanicHandler(std::function<void(std::string_view text)> handler) {
  State().panic = std::move(handler);
}

namespace {

// A missing library is not reported here: each later call shows its box.
void Bind(platform::LibraryHandle handle) {
  if (handle == nullptr) return;
  State().handle = handle;
  for (size_t i = 0; i < kEntryNames.size(); ++i)
    State().slots[i] = platform::LibrarySymbol(handle, kEntryNames[i]);
}

}  // namespace

void LoadLhaLibraryFrom(const char* path) {
  UnloadLhaLibrary();
  Bind(platform::OpenLibraryAt(path));
}

void LoadLhaLibrary() {
  UnloadLhaLibrary();
  Bind(platform::OpenLibrary("unlha32"));  // "UNLHA32.DLL" on Windows
}

void UnloadLhaLibrary() {
  // The slots go back to their fall-backs so that nothing calls into a released library.
  ResetSlots();
  platform::CloseLibrary(State().handle);
  State().handle = nullptr;
}

bool IsLhaLibraryLoaded() { return State().handle != nullptr; }

bool IsEntryBound(std::string_view name) {
  for (size_t i = 0; i < kEntryNames.size(); ++i) {
    if (name == kEntryNames[i]) return State().slots[i] != nullptr;
  }
  return false;
}

const std::array<const char*, 41>& EntryNames() { return kEntryNames; }

unsigned short CallUnlhaGetVersion() {
  if (void* entry = State().slots[kUnlhaGetVersionSlot])
    return reinterpret_cast<UnlhaGetVersionEntry>(entry)();
  ShowNotLoaded(kUnlhaGetVersionSlot);
  return 0;
}

int ExtractLha(std::string_view archive, std::string_view folder) {
  Binding& state = State();
  std::memset(state.output, 0, sizeof state.output);
  std::string command = "e -jyc -jyo";
  command += " \"";
  command += archive;
  command += "\" -d1 -c1 \"";
  command += folder;
  command += "\\\"";

  int result;
  void* entry = state.slots[kUnlhaSlot];
  // The command line goes in the library's own text form (ANSI on Windows).
  std::optional<std::string> line = platform::ToLibraryText(command);
  if (entry != nullptr && !line) {
    state.lastOutput = "the paths have characters the LHA library cannot be given";
    return kLhaPathNotAnsi;
  }
  if (entry != nullptr) {
    result = reinterpret_cast<UnlhaEntry>(entry)(nullptr, line->c_str(), state.output, 254);
  } else {
    // Unlike the other fall-backs this one must not report success: the archive
    // was not extracted.
    ShowNotLoaded(kUnlhaSlot);
    result = kLhaNotLoaded;
  }
  state.lastOutput = platform::FromLibraryText(std::string_view(state.output, strnlen(state.output, 255)));
  return result;
}

std::string LastLhaOutput() { return State().lastOutput; }

}  // namespace sorana::archive
