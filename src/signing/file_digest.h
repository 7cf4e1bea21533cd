// SHA-256 of files and texts (libsodium's), for the signed lists.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "signing/signed_list.h"

namespace sorana::signing {

Sha256 Sha256Of(std::string_view bytes);

struct FileDigest {
  int64_t size = 0;
  Sha256 sha256{};
};
// The size and SHA-256 of a host file, read to its end but never beyond
// `limit` bytes (a file longer than that is read no further: its size is then
// limit + 1); nullopt when it cannot be read.
std::optional<FileDigest> DigestOfFile(const std::filesystem::path& path, int64_t limit);

}  // namespace sorana::signing
