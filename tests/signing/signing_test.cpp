// Signatures and signed lists: what verifies and what is refused, also with
// minisign's own signatures (where minisign is installed).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "signing/file_digest.h"
#include "signing/minisign.h"
#include "signing/signed_list.h"

namespace sorana::signing {
namespace {

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

TEST(Signature, VerifiesOnlyTheSignersUnchangedMessageAndComment) {
  const SecretKey key = GenerateKey();
  const PublicKey pub = PublicOf(key);
  const std::string message = "sorana signed list 1\n";
  const std::string signature = Sign(key, message, "timestamp:1\tfile:files.list\thashed");
  const std::string comment = "trusted comment: ";
  struct Row {
    const char* what;
    PublicKey key;
    std::string message;
    std::string signature;
    Verdict verdict;
  };
  const Row rows[] = {
      {"as signed", pub, message, signature, Verdict::Valid},
      {"through Windows (CR LF)", pub, message, Replaced(signature, "\n", "\r\n"), Verdict::Valid},
      {"message changed", pub, message + " ", signature, Verdict::BadSignature},
      {"trusted comment changed", pub, message, Replaced(signature, "timestamp:1", "timestamp:2"),
       Verdict::BadSignature},
      {"another key", PublicOf(GenerateKey()), message, signature, Verdict::OtherKey},
      {"no trusted comment", pub, message, Replaced(signature, comment, "trusted: "), Verdict::Malformed},
      {"empty", pub, message, "", Verdict::Malformed},
      {"cut short", pub, message, signature.substr(0, signature.size() / 2), Verdict::Malformed},
  };
  for (const Row& row : rows) EXPECT_EQ(Verify(row.key, row.message, row.signature), row.verdict) << row.what;
  // Same id, other key bytes: no longer the signer's.
  PublicKey forged = PublicOf(GenerateKey());
  forged.id = pub.id;
  EXPECT_EQ(Verify(forged, message, signature), Verdict::BadSignature);
}

TEST(Signature, KeysReadBackAndWrongOnesAreRefused) {
  const SecretKey key = GenerateKey();
  std::optional<SecretKey> read = ParseSecretKeyFile(SecretKeyFile(key), nullptr);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->key, key.key);
  std::string damaged = SecretKeyFile(key);
  damaged[damaged.size() - 10] = damaged[damaged.size() - 10] == 'A' ? 'B' : 'A';
  std::string why;
  EXPECT_FALSE(ParseSecretKeyFile(damaged, &why));
  EXPECT_FALSE(why.empty());
  const PublicKey pub = PublicOf(key);
  EXPECT_EQ(ParsePublicKey(PublicKeyFile(pub))->key, pub.key);
  EXPECT_EQ(ParsePublicKey(PublicKeyLine(pub))->id, pub.id);
  EXPECT_FALSE(ParsePublicKey(PublicKeyLine(pub) + "A"));
  EXPECT_FALSE(ParsePublicKey("RWQ" + PublicKeyLine(pub).substr(3, 20)));
}

#ifndef _WIN32
// Both of minisign's algorithms: the prehashed one of today and the legacy one.
TEST(Signature, MinisignsSignaturesVerify) {
  if (std::system("command -v minisign >/dev/null 2>&1") != 0) GTEST_SKIP() << "minisign is not installed";
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("signing-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "list") << "sorana signed list 1\n";
  const std::string run =
      "cd " + folder.string() + " && minisign -G -W -p k.pub -s k.key >/dev/null && " +
      "minisign -S -s k.key -m list >/dev/null && minisign -S -l -s k.key -m list -x legacy >/dev/null";
  ASSERT_EQ(std::system(run.c_str()), 0);
  auto read = [&](const char* name) {
    std::stringstream bytes;
    bytes << std::ifstream(folder / name).rdbuf();
    return bytes.str();
  };
  std::optional<PublicKey> key = ParsePublicKey(read("k.pub"));
  ASSERT_TRUE(key);
  EXPECT_EQ(Verify(*key, read("list"), read("list.minisig")), Verdict::Valid);
  EXPECT_EQ(Verify(*key, read("list"), read("legacy")), Verdict::Valid);
  EXPECT_EQ(Verify(*key, read("list") + "x", read("legacy")), Verdict::BadSignature);
  std::filesystem::remove_all(folder);
}
#endif

TEST(SignedList, ReadsOnlyItsOwnStrictForm) {
  const std::string head = "sorana signed list 1\nphase /sorana/20240410/\nsequence 7\nexpires 1800000000\n";
  const std::string digest = HexOf(Sha256Of("abc"));
  const std::string good = head + "file 3 " + digest + " ヘルプ.LZH\n";
  std::optional<SignedList> list = ParseSignedList(good, nullptr);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->sequence, 7u);
  EXPECT_EQ(list->files.at("ヘルプ.LZH").sha256, Sha256Of("abc"));
  EXPECT_EQ(FormatSignedList(*list), good);
  const std::pair<const char*, std::string> refused[] = {
      {"line 5: bad size", head + "file 03 " + digest + " A\n"},
      {"line 5: bad digest", head + "file 3 " + Replaced(digest, digest.substr(0, 1), "A") + " A\n"},
      {"line 5: bad name", head + "file 3 " + digest + " ..\\A\n"},
      {"line 5: bad name", head + "file 3 " + digest + " A\r\n"},
      {"line 5: bad name", head + "file 3 " + digest + " \xC0\xAF\n"},
      {"line 6: a name listed twice", head + "file 3 " + digest + " A\nfile 3 " + digest + " A\n"},
      {"line 5: not a file line", head + "\n"},
      {"line 3: no sequence number", Replaced(head, "sequence 7", "sequence -7")},
      {"line 2: no phase", Replaced(head, "/sorana/20240410/", "/sorana/../")},
      {"line 0: the list does not end with a line end", head + "file 3 " + digest + " A"},
      {"line 1: not a signed list of this format", "sorana signed list 2\n" + head.substr(21)},
  };
  for (const auto& [why, text] : refused) {
    std::string reason;
    EXPECT_FALSE(ParseSignedList(text, &reason)) << why;
    EXPECT_EQ(reason, why);
  }
}

}  // namespace
}  // namespace sorana::signing
