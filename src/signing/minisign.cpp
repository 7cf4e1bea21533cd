#include "signing/minisign.h"

#include <sodium.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace sorana::signing {

namespace {

constexpr std::string_view kPrehashed = "ED";
constexpr std::string_view kLegacy = "Ed";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr size_t kSignatureBytes = crypto_sign_BYTES;
// Longer lines than this are no signature file of ours or minisign's.
constexpr size_t kLongestLine = 8192;

void Ready() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw std::runtime_error("libsodium cannot start");
}

std::string Base64(const uint8_t* data, size_t size) {
  std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(text.data(), text.size(), data, size, sodium_base64_VARIANT_ORIGINAL);
  text.resize(std::strlen(text.c_str()));
  return text;
}

// The whole of `text` decoded to exactly `size` bytes, or nothing.
std::optional<std::vector<uint8_t>> FromBase64(std::string_view text, size_t size) {
  Ready();
  if (text.empty() || text.size() > kLongestLine) return std::nullopt;
  std::vector<uint8_t> bytes(size + 1);
  size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length, &end,
                        sodium_base64_VARIANT_ORIGINAL) != 0 ||
      end != text.data() + text.size() || length != size) {
    return std::nullopt;
  }
  bytes.resize(size);
  return bytes;
}

// Splits `text` into its lines; a last line may lack its line end. A carriage
// return before a line end is dropped (a file that went through Windows).
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::array<uint8_t, crypto_generichash_BYTES_MAX> Prehash(std::string_view message) {
  std::array<uint8_t, crypto_generichash_BYTES_MAX> hash{};
  crypto_generichash(hash.data(), hash.size(), reinterpret_cast<const uint8_t*>(message.data()),
                     message.size(), nullptr, 0);
  return hash;
}

// minisign's checksum of a secret key: BLAKE2b-256 of the algorithm, key id and key.
std::array<uint8_t, crypto_generichash_BYTES> SecretChecksum(const SecretKey& key) {
  std::array<uint8_t, crypto_generichash_BYTES> sum{};
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, sum.size());
  crypto_generichash_update(&state, reinterpret_cast<const uint8_t*>(kLegacy.data()), 2);
  crypto_generichash_update(&state, key.id.data(), key.id.size());
  crypto_generichash_update(&state, key.key.data(), key.key.size());
  crypto_generichash_final(&state, sum.data(), sum.size());
  return sum;
}

// The secret-key file's fields, in order.
constexpr size_t kSaltBytes = 32;
constexpr size_t kSecretFileBytes = 2 + 2 + 2 + kSaltBytes + 8 + 8 + 8 + 64 + crypto_generichash_BYTES;

}  // namespace

std::string KeyIdText(const KeyId& id) {
  // minisign prints the id as a little-endian number.
  std::string text;
  char digits[3];
  for (size_t i = id.size(); i-- > 0;) {
    std::snprintf(digits, sizeof digits, "%02X", id[i]);
    text += digits;
  }
  return text;
}

std::optional<PublicKey> ParsePublicKey(std::string_view text) {
  std::vector<std::string_view> lines = Lines(text);
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.empty() || lines.size() > 2) return std::nullopt;
  if (lines.size() == 2 && !lines[0].starts_with(kUntrustedPrefix)) return std::nullopt;
  std::optional<std::vector<uint8_t>> bytes = FromBase64(lines.back(), 2 + 8 + 32);
  if (!bytes || std::memcmp(bytes->data(), kLegacy.data(), 2) != 0) return std::nullopt;
  PublicKey key;
  std::memcpy(key.id.data(), bytes->data() + 2, 8);
  std::memcpy(key.key.data(), bytes->data() + 10, 32);
  return key;
}

std::string PublicKeyLine(const PublicKey& key) {
  std::vector<uint8_t> bytes(kLegacy.begin(), kLegacy.end());
  bytes.insert(bytes.end(), key.id.begin(), key.id.end());
  bytes.insert(bytes.end(), key.key.begin(), key.key.end());
  return Base64(bytes.data(), bytes.size());
}

std::string PublicKeyFile(const PublicKey& key) {
  return std::string(kUntrustedPrefix) + "minisign public key " + KeyIdText(key.id) + "\n" +
         PublicKeyLine(key) + "\n";
}

SecretKey GenerateKey() {
  Ready();
  SecretKey key;
  std::array<uint8_t, 32> unused{};
  crypto_sign_keypair(unused.data(), key.key.data());
  randombytes_buf(key.id.data(), key.id.size());
  return key;
}

PublicKey PublicOf(const SecretKey& key) {
  PublicKey pub;
  pub.id = key.id;
  crypto_sign_ed25519_sk_to_pk(pub.key.data(), key.key.data());
  return pub;
}

std::string SecretKeyFile(const SecretKey& key) {
  std::vector<uint8_t> bytes;
  bytes.insert(bytes.end(), kLegacy.begin(), kLegacy.end());
  bytes.insert(bytes.end(), {0, 0});  // no key derivation: the key is not encrypted
  bytes.insert(bytes.end(), {'B', '2'});
  bytes.insert(bytes.end(), kSaltBytes + 8 + 8, 0);
  bytes.insert(bytes.end(), key.id.begin(), key.id.end());
  bytes.insert(bytes.end(), key.key.begin(), key.key.end());
  const auto sum = SecretChecksum(key);
  bytes.insert(bytes.end(), sum.begin(), sum.end());
  std::string file = std::string(kUntrustedPrefix) + "minisign secret key (no password)\n" +
                     Base64(bytes.data(), bytes.size()) + "\n";
  sodium_memzero(bytes.data(), bytes.size());
  return file;
}

std::optional<SecretKey> ParseSecretKeyFile(std::string_view text, std::string* why) {
  std::vector<std::string_view> lines = Lines(text);
  std::optional<std::vector<uint8_t>> bytes;
  if (lines.size() >= 2 && lines[0].starts_with(kUntrustedPrefix))
    bytes = FromBase64(lines[1], kSecretFileBytes);
  if (!bytes || std::memcmp(bytes->data(), kLegacy.data(), 2) != 0 || (*bytes)[4] != 'B' ||
      (*bytes)[5] != '2') {
    if (why) *why = "not a minisign secret key";
    return std::nullopt;
  }
  if ((*bytes)[2] != 0 || (*bytes)[3] != 0) {
    if (why) *why = "the secret key has a password: remove it with minisign -C -W, or sign with minisign -S";
    return std::nullopt;
  }
  SecretKey key;
  const uint8_t* keynum = bytes->data() + 6 + kSaltBytes + 16;
  std::memcpy(key.id.data(), keynum, 8);
  std::memcpy(key.key.data(), keynum + 8, 64);
  const auto sum = SecretChecksum(key);
  const bool intact = std::memcmp(sum.data(), keynum + 72, sum.size()) == 0;
  sodium_memzero(bytes->data(), bytes->size());
  if (!intact) {
    if (why) *why = "the secret key's checksum does not match";
    return std::nullopt;
  }
  return key;
}

std::string Sign(const SecretKey& key, std::string_view message, std::string_view trustedComment) {
  Ready();
  const auto hash = Prehash(message);
  std::vector<uint8_t> signature(kPrehashed.begin(), kPrehashed.end());
  signature.insert(signature.end(), key.id.begin(), key.id.end());
  signature.resize(2 + 8 + kSignatureBytes);
  crypto_sign_detached(signature.data() + 10, nullptr, hash.data(), hash.size(), key.key.data());
  std::vector<uint8_t> global(signature.begin() + 10, signature.end());
  global.insert(global.end(), trustedComment.begin(), trustedComment.end());
  std::array<uint8_t, kSignatureBytes> globalSignature{};
  crypto_sign_detached(globalSignature.data(), nullptr, global.data(), global.size(), key.key.data());
  return std::string(kUntrustedPrefix) + "signature from sorana-site secret key\n" +
         Base64(signature.data(), signature.size()) + "\n" + std::string(kTrustedPrefix) +
         std::string(trustedComment) + "\n" + Base64(globalSignature.data(), globalSignature.size()) + "\n";
}

Verdict Verify(const PublicKey& key, std::string_view message, std::string_view signatureFile) {
  Ready();
  if (signatureFile.size() > 4 * kLongestLine) return Verdict::Malformed;
  std::vector<std::string_view> lines = Lines(signatureFile);
  while (lines.size() > 4 && lines.back().empty()) lines.pop_back();
  if (lines.size() != 4 || !lines[0].starts_with(kUntrustedPrefix) || !lines[2].starts_with(kTrustedPrefix)) {
    return Verdict::Malformed;
  }
  std::optional<std::vector<uint8_t>> signature = FromBase64(lines[1], 2 + 8 + kSignatureBytes);
  std::optional<std::vector<uint8_t>> global = FromBase64(lines[3], kSignatureBytes);
  if (!signature || !global) return Verdict::Malformed;
  const std::string_view algorithm(reinterpret_cast<const char*>(signature->data()), 2);
  if (algorithm != kPrehashed && algorithm != kLegacy) return Verdict::Malformed;
  if (std::memcmp(signature->data() + 2, key.id.data(), key.id.size()) != 0) return Verdict::OtherKey;

  const uint8_t* sig = signature->data() + 10;
  bool valid;
  if (algorithm == kPrehashed) {
    const auto hash = Prehash(message);
    valid = crypto_sign_verify_detached(sig, hash.data(), hash.size(), key.key.data()) == 0;
  } else {
    valid = crypto_sign_verify_detached(sig, reinterpret_cast<const uint8_t*>(message.data()), message.size(),
                                        key.key.data()) == 0;
  }
  // The trusted comment is signed together with the signature.
  const std::string_view trusted = lines[2].substr(kTrustedPrefix.size());
  std::vector<uint8_t> signedComment(sig, sig + kSignatureBytes);
  signedComment.insert(signedComment.end(), trusted.begin(), trusted.end());
  valid = valid && crypto_sign_verify_detached(global->data(), signedComment.data(), signedComment.size(),
                                               key.key.data()) == 0;
  return valid ? Verdict::Valid : Verdict::BadSignature;
}

}  // namespace sorana::signing
