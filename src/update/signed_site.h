// The check of a signed update site, for a program that holds a key: before a
// phase's first file its signed list and signature are fetched and checked
// (the signature, the phase, the expiry time, the sequence number against the
// last one this installation accepted, and that the list names exactly the
// catalogue's files of the phase); each file is then fetched no longer than
// the list says, and every file's size and SHA-256 is compared with the list
// before anything of the phase is installed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "signing/signed_list.h"
#include "update/update_public_key.h"

namespace sorana::update {

// The error box of a refused update: why, and that nothing was installed.
std::string SigningRefusal(const std::string& reason);

class SignedPhase {
 public:
  // Fetches `name` from `url` into the download folder, never longer than
  // `maxLength`; raises download::EipwHTTP when that fails.
  using Fetch = std::function<void(const std::string& name, const std::string& url, int64_t maxLength)>;

  // The phase's list, checked; or why it is refused (a sentence for the box).
  // An accepted list's sequence number is recorded in the install root.
  static std::variant<SignedPhase, std::string> Load(const UpdateKey& key, bool oldPhase,
                                                     const std::string& downloadFolder,
                                                     const std::string& installRoot, const Fetch& fetch);

  // The size the list gives for a file of the phase, and why a longer one is refused.
  int64_t ListedSize(const std::string& name) const;
  std::string TooLong(const std::string& name) const;
  // Why the phase is refused when a file of `fileList` in `downloadFolder`
  // has another size or SHA-256 than the list says (the first such file,
  // which is then forgotten there, also from the kept downloads' ledger);
  // nullopt when every one is as listed.
  std::optional<std::string> CheckDownloads(const std::string& downloadFolder,
                                            const std::vector<std::string>& fileList) const;

 private:
  explicit SignedPhase(signing::SignedList list) : list_(std::move(list)) {}
  signing::SignedList list_;
};

}  // namespace sorana::update
