#include "signing/file_digest.h"

#include <sodium.h>

#include <algorithm>
#include <vector>

#include "platform/input_file.h"

namespace sorana::signing {

Sha256 Sha256Of(std::string_view bytes) {
  Sha256 digest{};
  crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return digest;
}

std::optional<FileDigest> DigestOfFile(const std::filesystem::path& path, int64_t limit) {
  platform::host::InputFile file(path);
  if (!file.Ok()) return std::nullopt;
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  std::vector<unsigned char> buffer(1 << 16);
  FileDigest digest;
  while (digest.size <= limit) {
    const platform::Result<size_t> read = file.Read(buffer.data(), buffer.size());
    if (!read) return std::nullopt;
    if (*read == 0) break;
    crypto_hash_sha256_update(&state, buffer.data(), static_cast<unsigned long long>(*read));
    digest.size += static_cast<int64_t>(*read);
  }
  crypto_hash_sha256_final(&state, digest.sha256.data());
  digest.size = std::min(digest.size, limit + 1);
  return digest;
}

}  // namespace sorana::signing
