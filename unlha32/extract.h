// Extraction of LHA archives with liblhasa: the core of libunlha32.so.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "unlha32/destination.h"

namespace unlha32 {

struct ExtractOptions {
  bool keepFolders = true;  // false: every file goes straight into the destination
};

struct ExtractOutcome {
  int code = 0;         // 0 or the UNLHA_ERROR_* code of the first failure
  std::string message;  // "2 files extracted", or the first failure naming its member
  int extracted = 0;    // files written
};

// Extracts every member of `archive` below `destination` (already prepared).
// The archive is checked whole first (names, methods, CRCs, structure): when
// any member fails that check nothing is written. With a null destination it
// only checks.
ExtractOutcome ExtractArchive(std::string_view archive, const Destination* destination,
                              const ExtractOptions& options = {});

// Reads the archive's host file whole and extracts it.
ExtractOutcome ExtractArchiveFile(const std::filesystem::path& archive, Destination& destination,
                                  const ExtractOptions& options = {});

// Entry for fuzzing: extracts `archive` into `scratchFolder` (a host folder,
// created when missing). Returns the code; the message when `message` is set.
int ExtractArchiveBytes(std::span<const uint8_t> archive, const std::filesystem::path& scratchFolder,
                        std::string* message);

}  // namespace unlha32
