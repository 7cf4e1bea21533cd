// The exported C entries of libunlha32.so and UNLHA32.DLL.
#include "unlha32/unlha32.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "formats/cp932.h"
#include "platform/windows_system.h"
#include "unlha32/command_line.h"
#include "unlha32/destination.h"
#include "unlha32/extract.h"

#ifdef _WIN32
#define UNLHA32_EXPORT
#else
#define UNLHA32_EXPORT __attribute__((visibility("default")))
#endif

namespace {

using unlha32::Destination;
using unlha32::ExtractOutcome;

// The callers' texts: ANSI (code page 932) on Windows, UTF-8 on Linux. Inside,
// every text is UTF-8, as the host layer takes it.
#ifdef _WIN32
constexpr bool kCallerTextIsCp932 = true;
#else
constexpr bool kCallerTextIsCp932 = false;
#endif

std::optional<std::string> FromCallerText(const char* text) {
  if (kCallerTextIsCp932) return sorana::formats::Cp932ToUtf8(text);
  return std::string(text);
}

// A character CP932 lacks (a member name read as UTF-8) is shown as "?".
std::string ToCallerText(const std::string& utf8) {
  if (!kCallerTextIsCp932) return utf8;
  if (auto cp932 = sorana::formats::Utf8ToCp932(utf8)) return *cp932;
  std::string out;
  for (char c : utf8) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out.push_back(c);
    } else if ((byte & 0xC0) != 0x80) {
      out.push_back('?');
    }
  }
  return out;
}

// Bytes of the character starting at text[i], so that a cut message never ends
// in half a character.
size_t CharacterLength(const std::string& text, size_t i) {
  auto byte = static_cast<unsigned char>(text[i]);
  if (kCallerTextIsCp932) return sorana::formats::IsCp932LeadByte(byte) ? 2 : 1;
  size_t length = 1;
  while (i + length < text.size() && (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80) ++length;
  return length;
}

// The library's own copy of the host layer has no active prefix set by the
// program, so each call reads WINEPREFIX anew (on Windows the paths are the
// machine's own, and the prefix maps through its drives).
std::optional<std::filesystem::path> ToHostPath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return unlha32::PathOfUtf8(path);
  return sorana::platform::WindowsSystem::FromEnvironment().ToHost(path);
}

Destination DestinationOf(const std::string& folder) {
  if (!folder.empty() && folder[0] == '/') return Destination::OnHost(unlha32::PathOfUtf8(folder));
  return Destination::InPrefix(sorana::platform::WindowsSystem::FromEnvironment(), folder);
}

ExtractOutcome Run(const char* cmdLine) {
  if (cmdLine == nullptr) return {UNLHA_ERROR_COMMAND_NAME, "no command line", 0};
  std::optional<std::string> line = FromCallerText(cmdLine);
  if (!line) return {UNLHA_ERROR_COMMAND_NAME, "the command line is not CP932 text", 0};
  unlha32::UnlhaCommand command = unlha32::ParseUnlhaCommand(*line);
  if (!command.ok) return {UNLHA_ERROR_COMMAND_NAME, command.problem, 0};
  auto archive = ToHostPath(command.archive);
  if (!archive) return {UNLHA_ERROR_ARC_FILE_OPEN, "archive " + command.archive + " is not on a drive", 0};
  Destination destination = DestinationOf(command.folder);
  unlha32::ExtractOptions options;
  options.keepFolders = command.keepFolders;
  return unlha32::ExtractArchiveFile(*archive, destination, options);
}

void WriteOutput(char* output, unsigned long size, const std::string& utf8) {
  if (output == nullptr || size == 0) return;
  const std::string message = ToCallerText(utf8);
  size_t count = 0;
  while (count < message.size()) {
    size_t next = count + CharacterLength(message, count);
    if (next > size - 1) break;
    count = next;
  }
  std::memcpy(output, message.data(), count);
  output[count] = '\0';
}

}  // namespace

extern "C" {

UNLHA32_EXPORT int UNLHA32_CALL Unlha(void* /*hwnd*/, const char* cmdLine, char* output, unsigned long size) {
  ExtractOutcome outcome;
  try {
    outcome = Run(cmdLine);
  } catch (const std::exception& error) {
    outcome = {UNLHA_ERROR_INTERNAL, error.what(), 0};
  } catch (...) {
    outcome = {UNLHA_ERROR_INTERNAL, "unexpected failure", 0};
  }
  try {
    WriteOutput(output, size, outcome.message);
  } catch (...) {
    if (output != nullptr && size > 0) output[0] = '\0';
  }
  return outcome.code;
}

UNLHA32_EXPORT unsigned short UNLHA32_CALL UnlhaGetVersion(void) { return 100; }

UNLHA32_EXPORT int UNLHA32_CALL UnlhaCheckArchive(const char* archive, int /*mode*/) {
  try {
    if (archive == nullptr) return 0;
    std::optional<std::string> path = FromCallerText(archive);
    if (!path) return 0;
    auto host = ToHostPath(*path);
    if (!host) return 0;
    std::ifstream in(*host, std::ios::binary);
    if (!in) return 0;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return 0;
    return unlha32::ExtractArchive(bytes, nullptr).code == 0 ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
