// Ed25519 signatures in minisign's formats, so that an administrator can make
// and check them with Debian's `minisign` as well as with sorana-site.
//
// A public key is a comment line and the base64 of "Ed", an 8-byte key id and
// the 32-byte key. A signature file is four lines: an untrusted comment; the
// base64 of the algorithm ("ED": Ed25519 over the BLAKE2b-512 of the file,
// which minisign writes by default; "Ed": over the file itself, its legacy
// form), the signer's key id and the 64-byte signature; the trusted comment;
// the base64 of a signature over the first signature and the trusted comment.
// Everything read here is untrusted input: every length is checked.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sorana::signing {

using KeyId = std::array<uint8_t, 8>;

struct PublicKey {
  KeyId id{};
  std::array<uint8_t, 32> key{};
};

struct SecretKey {
  KeyId id{};
  std::array<uint8_t, 64> key{};  // libsodium's: the seed and the public key
};

// The base64 line of a public key, or a whole public-key file (its last
// non-empty line is the key). nullopt when it is no Ed25519 key.
std::optional<PublicKey> ParsePublicKey(std::string_view text);
// The public-key file minisign writes: a comment and the base64 line.
std::string PublicKeyFile(const PublicKey& key);
// The base64 line alone (what minisign -P and the build setting take).
std::string PublicKeyLine(const PublicKey& key);
// The key id as minisign prints it (16 hex digits).
std::string KeyIdText(const KeyId& id);

// A fresh key pair.
SecretKey GenerateKey();
PublicKey PublicOf(const SecretKey& key);
// minisign's secret-key file without a password (as `minisign -G -W` writes
// it), and its reader; a password-protected key is refused with `why` set.
std::string SecretKeyFile(const SecretKey& key);
std::optional<SecretKey> ParseSecretKeyFile(std::string_view text, std::string* why);

// A signature file for `message` (prehashed, as minisign -S writes it).
std::string Sign(const SecretKey& key, std::string_view message, std::string_view trustedComment);

enum class Verdict {
  Valid,
  Malformed,     // not a signature file
  OtherKey,      // signed by a key with another id
  BadSignature,  // the signature or the trusted comment's does not verify
};
// Checks a signature file over `message` against `key`.
Verdict Verify(const PublicKey& key, std::string_view message, std::string_view signatureFile);

}  // namespace sorana::signing
