// Signing an update site: a key pair in minisign's formats, and for each
// phase's folder a signed list ("files.list") of every file of the phase
// with its size and SHA-256, and its signature ("files.list.minisig"), which
// `minisign -V -p KEY.pub -m files.list` checks as well as the updater does.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "signing/minisign.h"

namespace sorana::tools {

// Writes a fresh key pair: the secret key readable by its owner only (mode
// 0600), the public key beside it. Refuses to replace an existing file.
signing::PublicKey WriteKeyPair(const std::filesystem::path& secretKey,
                                const std::filesystem::path& publicKey);

// A secret key file of sorana-site keygen's or of `minisign -G -W`.
signing::SecretKey ReadSecretKey(const std::filesystem::path& file);

struct SignOptions {
  // The lists' sequence number; by default one above the folder's present
  // list and at least the time in seconds, so that it grows from signing to signing.
  std::optional<uint64_t> sequence;
  int64_t validSeconds = int64_t{30} * 24 * 3600;  // from now to the lists' expiry
};

// Signs both phases of the site below `siteRoot`; every file of the catalogue must be there.
// Returns the sequence number written.
uint64_t SignSite(const std::filesystem::path& siteRoot, const signing::SecretKey& key,
                  const SignOptions& options);

}  // namespace sorana::tools
