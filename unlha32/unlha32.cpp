// The exported C entries of libunlha32.so.
#include "unlha32/unlha32.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/win_path.h"
#include "unlha32/command_line.h"
#include "unlha32/destination.h"
#include "unlha32/extract.h"

namespace {

using unlha32::Destination;
using unlha32::ExtractOutcome;

// The library's own copy of the host layer has no active prefix set by the
// program, so each call reads WINEPREFIX anew.
std::optional<std::filesystem::path> ToHostPath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return std::filesystem::path(path);
  return sorana::platform::WinePrefix::FromEnvironment().ToHost(path);
}

Destination DestinationOf(const std::string& folder) {
  if (!folder.empty() && folder[0] == '/') return Destination::OnHost(folder);
  return Destination::InPrefix(sorana::platform::WinePrefix::FromEnvironment(), folder);
}

ExtractOutcome Run(const char* cmdLine) {
  if (cmdLine == nullptr) return {UNLHA_ERROR_COMMAND_NAME, "no command line", 0};
  unlha32::UnlhaCommand command = unlha32::ParseUnlhaCommand(cmdLine);
  if (!command.ok) return {UNLHA_ERROR_COMMAND_NAME, command.problem, 0};
  auto archive = ToHostPath(command.archive);
  if (!archive) return {UNLHA_ERROR_ARC_FILE_OPEN, "archive " + command.archive + " is not on a drive", 0};
  Destination destination = DestinationOf(command.folder);
  unlha32::ExtractOptions options;
  options.keepFolders = command.keepFolders;
  return unlha32::ExtractArchiveFile(*archive, destination, options);
}

void WriteOutput(char* output, unsigned long size, const std::string& message) {
  if (output == nullptr || size == 0) return;
  size_t count = std::min<size_t>(message.size(), size - 1);
  std::memcpy(output, message.data(), count);
  output[count] = '\0';
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int Unlha(void* /*hwnd*/, const char* cmdLine, char* output,
                                                 unsigned long size) {
  ExtractOutcome outcome;
  try {
    outcome = Run(cmdLine);
  } catch (const std::exception& error) {
    outcome = {UNLHA_ERROR_INTERNAL, error.what(), 0};
  } catch (...) {
    outcome = {UNLHA_ERROR_INTERNAL, "unexpected failure", 0};
  }
  WriteOutput(output, size, outcome.message);
  return outcome.code;
}

__attribute__((visibility("default"))) unsigned short UnlhaGetVersion(void) { return 100; }

__attribute__((visibility("default"))) int UnlhaCheckArchive(const char* archive, int /*mode*/) {
  try {
    if (archive == nullptr) return 0;
    auto host = ToHostPath(archive);
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
