// Attacks on a signed update site, the updater holding the site's key: a
// program changed or swapped, a file longer than listed, an older list
// replayed, an expired one, one signed by another key or altered, the
// signature or the list missing, a list naming a file the catalogue does not
// have, a kept half of a file altered. Each: one box, nothing installed, the
// next honest attempt installs. And minisign's signatures, both ways.
#include <cstdlib>

#include "e2e/fault_matrix.h"
#include "e2e/installed_tree.h"
#include "signing/signed_list.h"
#include "tools/host_files.h"
#include "tools/site_signing.h"
#include "update/accepted_lists.h"
#include "update/kept_downloads.h"
#include "update/signed_site.h"

namespace sorana::e2e {
namespace {

namespace fs = std::filesystem;
using form::BoxKind;
using test::HttpFault;

constexpr size_t kProgramPosition = 1;  // a program of the new-version phase

fs::path PhaseFile(FaultMatrix& m, std::string_view name) {
  return m.scenario->SiteRoot() / "sorana" / "20240410" / std::string(name);
}

void UseKey(const signing::PublicKey& key) {
  setenv("SORANA_UPDATE_PUBLIC_KEY", signing::PublicKeyLine(key).c_str(), 1);
}

void Resign(FaultMatrix& m) { tools::SignSite(m.scenario->SiteRoot(), *m.siteKey, {}); }

// The site signed, the updater holding its key; then `attack`, which the
// next attempt finds taken away (the site as its owner signs it again).
FaultStep Signed(FaultStep attack) {
  return [attack](FaultMatrix& m) {
    m.siteKey = signing::GenerateKey();
    UseKey(signing::PublicOf(*m.siteKey));
    Resign(m);
    m.clear = Resign;
    if (attack) attack(m);
  };
}

// The site's file at `position` served as `bytes` (with `fault`) until the next attempt.
FaultStep ServedAs(size_t position, std::function<std::string(FaultMatrix&, const std::string&)> bytes,
                   HttpFault fault = HttpFault::None) {
  return Signed([=](FaultMatrix& m) {
    const std::string name = m.list[position];
    const std::string original = m.scenario->Served(false, name);
    m.scenario->Serve(false, name, bytes(m, original));
    m.scenario->Server().SetFault(name, fault);
    m.clear = [name, original](FaultMatrix& m) {
      m.scenario->Serve(false, name, original);
      m.scenario->Server().SetFault(name, HttpFault::None);
    };
  });
}

std::string OneByteChanged(FaultMatrix&, const std::string& bytes) {
  std::string changed = bytes;
  changed[changed.size() / 2] ^= 0x01;
  return changed;
}

// The list signed again with `list` changed by `edit`, with `key`.
void SignEdited(FaultMatrix& m, const signing::SecretKey& key,
                const std::function<void(signing::SignedList&)>& edit) {
  std::optional<signing::SignedList> list =
      signing::ParseSignedList(tools::ReadHostFile(PhaseFile(m, signing::kListName)), nullptr);
  ASSERT_TRUE(list);
  edit(*list);
  const std::string text = signing::FormatSignedList(*list);
  tools::WriteHostFile(PhaseFile(m, signing::kListName), text);
  tools::WriteHostFile(PhaseFile(m, signing::kSignatureName), signing::Sign(key, text, "edited"));
}

// One refusal box saying `part`; nothing installed; the window ready again.
FaultStep RefusalBox(std::function<std::string(FaultMatrix&)> part, size_t errorsBefore = 0) {
  return [part, errorsBefore](FaultMatrix& m) {
    std::vector<std::string> errors = m.session->Boxes(BoxKind::Error);
    ASSERT_EQ(errors.size(), errorsBefore + 1);
    EXPECT_TRUE(errors.back().starts_with(update::SigningRefusal("").substr(0, 30))) << errors.back();
    EXPECT_NE(errors.back().find(part(m)), std::string::npos) << errors.back();
    EXPECT_TRUE(m.session->Boxes(BoxKind::Information).empty());
    EXPECT_TRUE(m.session->IsReady());
    EXPECT_FALSE(m.session->form.State().Cancelled);
    ExpectPhaseUntouched(m);
    ExpectUserFilesUnchanged(m);
  };
}
FaultStep RefusalBox(std::string part) {
  return RefusalBox([part](FaultMatrix&) { return part; });
}
FaultStep NamingFile(size_t position, std::string part) {
  return RefusalBox([position, part](FaultMatrix& m) { return "ファイル " + m.list[position] + part; });
}

// Nothing but the list and its signature was asked for.
void OnlyTheListFetched(FaultMatrix& m) {
  for (const test::HttpRequest& request : m.scenario->Server().Requests()) {
    EXPECT_TRUE(request.path.ends_with("/files.list") || request.path.ends_with("/files.list.minisig"))
        << request.path;
  }
}

// The file is neither kept nor in the ledger: the next click fetches it anew.
FaultStep Forgotten(size_t position) {
  return [position](FaultMatrix& m) {
    const fs::path folder = m.scenario->DownloadFolder(false);
    EXPECT_FALSE(fs::exists(folder / m.list[position]));
    EXPECT_EQ(ReadHostFile(folder / std::string(update::kKeptLedgerName))
                  .value_or("")
                  .find(m.list[position] + "\t"),
              std::string::npos);
  };
}

// The plug-in cut halfway by a server with validators (a communication box).
FaultStep CutWithValidators() {
  return Signed([](FaultMatrix& m) {
    m.scenario->Server().SetValidators(true);
    m.scenario->Server().SetFault(m.list[kPluginPosition], HttpFault::ResetMidBody);
  });
}

// The kept half altered, the fault taken away, and a click: the continued file is refused.
void KeptHalfAlteredThenClick(FaultMatrix& m) {
  const fs::path half = m.scenario->DownloadFolder(false) / m.list[kPluginPosition];
  std::optional<std::string> bytes = ReadHostFile(half);
  ASSERT_TRUE(bytes && !bytes->empty());
  (*bytes)[0] ^= 0x01;
  WriteHostFile(half, *bytes);
  m.scenario->Server().SetFault(m.list[kPluginPosition], HttpFault::None);
  m.session->form.DownLoadButtonClick();
  m.clear = nullptr;
}

// The signature sorana-site wrote verifies with minisign -V; then the list is
// signed again by minisign -S with a key of minisign's own, which the updater holds.
void SignedByMinisign(FaultMatrix& m) {
  if (std::system("command -v minisign >/dev/null 2>&1") != 0) GTEST_SKIP() << "minisign is not installed";
  const fs::path keys = m.scenario->SiteRoot().parent_path() / "minisign";
  fs::create_directories(keys);
  tools::WriteHostFile(keys / "site.pub", signing::PublicKeyFile(signing::PublicOf(*m.siteKey)));
  const std::string list = PhaseFile(m, signing::kListName).string();
  const std::string run = "cd " + keys.string() + " && ";
  ASSERT_EQ(std::system((run + "minisign -V -q -p site.pub -m " + list).c_str()), 0);
  ASSERT_EQ(
      std::system((run + "minisign -G -W -p own.pub -s own.key >/dev/null && minisign -S -s own.key -m " +
                   list + " -x " + list + ".minisig >/dev/null")
                      .c_str()),
      0);
  std::optional<signing::PublicKey> own = signing::ParsePublicKey(tools::ReadHostFile(keys / "own.pub"));
  ASSERT_TRUE(own);
  UseKey(*own);
  m.clear = nullptr;
}

void InstalledAtOnce(FaultMatrix& m) {
  EXPECT_TRUE(m.session->Boxes(BoxKind::Error).empty());
  EXPECT_EQ(m.session->Boxes(BoxKind::Information), std::vector<std::string>{kCompletionBox});
  ExpectFilesInstalled(*m.scenario, ExpectedPhaseFiles(false, m.chosen));
}

// clang-format off
FaultRow ListRow(const char* name, const char* fault, FaultStep inject, std::string part) {
  return {.name = name, .fault = fault, .outcome = "one box, nothing fetched or installed; next click installs",
          .inject = std::move(inject), .seen = {RefusalBox(part), OnlyTheListFetched, NextAttemptInstalls(false)}};
}

FaultRow FileRow(const char* name, const char* fault, FaultStep inject, std::string part) {
  return {.name = name, .fault = fault,
          .outcome = "one box naming the file, nothing installed, file forgotten; next click installs",
          .inject = std::move(inject),
          .seen = {NamingFile(kProgramPosition, part), Forgotten(kProgramPosition), NextAttemptInstalls(false)}};
}

}  // namespace

std::vector<FaultRow> SigningRows() {
  const char* differs = " の内容が署名された一覧と一致しません";
  const char* longer = " が一覧の大きさ";
  return {
    FileRow("SignedByteChanged", "signed site: one byte of a program changed",
            ServedAs(kProgramPosition, OneByteChanged), differs),
    FileRow("SignedFileSwapped", "signed site: a program swapped for another file of the site",
            ServedAs(kProgramPosition, [](FaultMatrix& m, const std::string&) {
              return m.scenario->Served(false, m.list[kProgramPosition + 1]); }), differs),
    FileRow("SignedLongerFile", "signed site: a program longer than listed",
            ServedAs(kProgramPosition, [](FaultMatrix&, const std::string& bytes) { return bytes + "MZ"; }), longer),
    FileRow("SignedLongerBody", "... served without a length (the body is cut at the listed size)",
            ServedAs(kProgramPosition, [](FaultMatrix&, const std::string& bytes) { return bytes + "MZ"; },
                     HttpFault::NoLength), longer),
    ListRow("SignedListReplayed", "signed site: an older signed list replayed",
            Signed([](FaultMatrix& m) {
              tools::SignSite(m.scenario->SiteRoot(), *m.siteKey, {.sequence = 5});
              update::RecordAcceptedSequence(kInstallRoot, "/sorana/20240410/", 6); }),
            "前回受け入れた番号 6"),
    ListRow("SignedListExpired", "signed site: an expired list",
            Signed([](FaultMatrix& m) {
              tools::SignSite(m.scenario->SiteRoot(), *m.siteKey, {.sequence = std::nullopt, .validSeconds = -60}); }), "有効期限"),
    ListRow("SignedOtherKey", "signed site: the list signed with another key",
            Signed([](FaultMatrix& m) { tools::SignSite(m.scenario->SiteRoot(), signing::GenerateKey(), {}); }),
            "別の鍵"),
    ListRow("SignedListAltered", "signed site: the list altered after signing",
            Signed([](FaultMatrix& m) {
              std::string text = tools::ReadHostFile(PhaseFile(m, signing::kListName));
              text.replace(text.find("file ") + 5, 1, "9");
              tools::WriteHostFile(PhaseFile(m, signing::kListName), text); }),
            "一覧の署名が正しくありません"),
    ListRow("SignatureMissing", "signed site: the signature missing",
            Signed([](FaultMatrix& m) { fs::remove(PhaseFile(m, signing::kSignatureName)); }),
            "サーバーに files.list.minisig がありません"),
    ListRow("SignedListMissing", "signed site: the list missing",
            Signed([](FaultMatrix& m) { fs::remove(PhaseFile(m, signing::kListName)); }),
            "サーバーに files.list がありません"),
    ListRow("SignedListExtraName", "signed site: the list names a file the catalogue does not have",
            Signed([](FaultMatrix& m) {
              SignEdited(m, *m.siteKey, [](signing::SignedList& list) { list.files["EXTRA.EX_"] = {2, {}}; }); }),
            "このアップデートにないファイル EXTRA.EX_"),
    {.name = "SignedKeptHalfAltered", .fault = "signed site: a file cut halfway, its kept half altered before the next click",
     .outcome = "box naming the file, nothing installed, file forgotten; next click installs",
     .inject = CutWithValidators(),
     .seen = {KeptHalfAlteredThenClick,
              RefusalBox([](FaultMatrix& m) { return "ファイル " + m.list[kPluginPosition] + " の内容"; }, 1),
              Forgotten(kPluginPosition), NextAttemptInstalls(false)}},
    {.name = "SignedByMinisign", .fault = "signed site: sorana-site's signature checked by minisign -V, the list signed by minisign -S",
     .outcome = "minisign verifies; the updater installs",
     .inject = Signed(SignedByMinisign), .seen = {InstalledAtOnce}},
  };
}
// clang-format on

}  // namespace sorana::e2e
