#include "tools/site_signing.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "catalogue/catalogue.h"
#include "signing/file_digest.h"
#include "signing/signed_list.h"
#include "tools/host_files.h"
#include "tools/site_builder.h"
#include "tools/site_error.h"

namespace sorana::tools {

namespace fs = std::filesystem;

namespace {

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

fs::path PhaseFolder(const fs::path& siteRoot, bool oldPhase) {
  return siteRoot / std::string(catalogue::PhasePath(oldPhase).substr(1));
}

// The sequence number of the list the folder holds now, 0 when none.
uint64_t PresentSequence(const fs::path& folder) {
  std::error_code error;
  if (!fs::exists(folder / std::string(signing::kListName), error)) return 0;
  std::optional<signing::SignedList> list =
      signing::ParseSignedList(ReadHostFile(folder / std::string(signing::kListName)), nullptr);
  return list ? list->sequence : 0;
}

}  // namespace

signing::PublicKey WriteKeyPair(const fs::path& secretKey, const fs::path& publicKey) {
  std::error_code error;
  for (const fs::path& path : {secretKey, publicKey}) {
    if (fs::exists(path, error)) throw SiteError(path.string() + " exists already; keygen replaces no key");
  }
  const signing::SecretKey key = signing::GenerateKey();
  const std::string text = signing::SecretKeyFile(key);
  if (secretKey.has_parent_path()) MakeHostFolder(secretKey.parent_path());
  // Created with its final mode, so it is never readable by others for a moment.
  const int fd = ::open(secretKey.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw SiteError("cannot create " + secretKey.string());
  const bool written =
      ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !written) {
    fs::remove(secretKey, error);
    throw SiteError("cannot write " + secretKey.string());
  }
  const signing::PublicKey pub = signing::PublicOf(key);
  WriteHostFile(publicKey, signing::PublicKeyFile(pub));
  return pub;
}

signing::SecretKey ReadSecretKey(const fs::path& file) {
  std::string why;
  std::optional<signing::SecretKey> key = signing::ParseSecretKeyFile(ReadHostFile(file), &why);
  if (!key) throw SiteError(file.string() + ": " + why);
  return *key;
}

uint64_t SignSite(const fs::path& siteRoot, const signing::SecretKey& key, const SignOptions& options) {
  const int64_t now = Now();
  uint64_t sequence = options.sequence.value_or(0);
  if (!options.sequence) {
    sequence = static_cast<uint64_t>(now);
    for (bool oldPhase : {true, false})
      sequence = std::max(sequence, PresentSequence(PhaseFolder(siteRoot, oldPhase)) + 1);
  }
  for (bool oldPhase : {true, false}) {
    signing::SignedList list;
    list.phase = std::string(catalogue::PhasePath(oldPhase));
    list.sequence = sequence;
    list.expires = now + options.validSeconds;
    for (const SiteFileEntry& file : SiteFiles()) {
      if (file.oldPhase != oldPhase) continue;
      const fs::path path = SitePath(siteRoot, oldPhase, file.name);
      std::optional<signing::FileDigest> digest = signing::DigestOfFile(path, int64_t{1} << 40);
      if (!digest) throw SiteError("cannot read " + path.string() + " (build the site first)");
      list.files[file.name] = {digest->size, digest->sha256};
    }
    const std::string text = signing::FormatSignedList(list);
    const fs::path folder = PhaseFolder(siteRoot, oldPhase);
    // The list first: a reader that meets the new list with the old signature is refused, never misled.
    WriteHostFile(folder / std::string(signing::kListName), text);
    WriteHostFile(folder / std::string(signing::kSignatureName),
                  signing::Sign(key, text,
                                "timestamp:" + std::to_string(now) +
                                    "\tfile:" + std::string(signing::kListName) + "\thashed"));
  }
  return sequence;
}

}  // namespace sorana::tools
