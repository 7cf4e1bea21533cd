// The signed list's reader and the signature reader, on bytes from the network.
//
// Input: a signature file, a NUL byte, then the list. The signature is checked
// against a fixed key (it may say anything but Valid, and must not fail on any
// input); a list that reads is written back and reads again as the same list,
// and every name it holds is a plain file name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "signing/minisign.h"
#include "signing/signed_list.h"
#include "support/finding.h"

using sorana::fuzz::Finding;
namespace signing = sorana::signing;

namespace {

bool SameList(const signing::SignedList& a, const signing::SignedList& b) {
  if (a.phase != b.phase || a.sequence != b.sequence || a.expires != b.expires ||
      a.files.size() != b.files.size())
    return false;
  for (auto ai = a.files.begin(), bi = b.files.begin(); ai != a.files.end(); ++ai, ++bi) {
    if (ai->first != bi->first || ai->second.size != bi->second.size ||
        ai->second.sha256 != bi->second.sha256)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string_view signature = input.substr(0, nul);
  const std::string_view text = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

  static const signing::PublicKey key = signing::PublicOf(signing::GenerateKey());
  if (signing::Verify(key, text, signature) == signing::Verdict::Valid)
    Finding("a forged signature verified");
  signing::ParsePublicKey(signature);
  signing::ParseSecretKeyFile(signature, nullptr);

  std::string why;
  std::optional<signing::SignedList> list = signing::ParseSignedList(text, &why);
  if (!list) {
    if (why.empty()) Finding("a refused list gives no reason");
    return 0;
  }
  for (const auto& [name, file] : list->files) {
    if (name.find_first_of("/\\") != std::string::npos || name.empty() || file.size < 0)
      Finding("the list holds the name \"" + name + "\"");
  }
  std::optional<signing::SignedList> again = signing::ParseSignedList(signing::FormatSignedList(*list), &why);
  if (!again || !SameList(*list, *again)) Finding("a list written back reads differently: " + why);
  return 0;
}
