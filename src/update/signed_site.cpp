#include "update/signed_site.h"

#include <chrono>
#include <cstdio>
#include <set>

#include "catalogue/catalogue.h"
#include "download/tipw_http.h"
#include "platform/file_system.h"
#include "platform/windows_system.h"
#include "signing/file_digest.h"
#include "update/accepted_lists.h"
#include "update/kept_downloads.h"
#include "update/update_server.h"

namespace sorana::update {

namespace {

using signing::Verdict;

// "2026-12-09 13:00 UTC"
std::string UtcText(int64_t seconds) {
  // Days to a civil date (Howard Hinnant's algorithm), so that no time zone is involved.
  const int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  const int64_t minutes = (seconds - days * 86400) / 60;
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char text[128];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld UTC", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day),
                static_cast<long long>(minutes / 60), static_cast<long long>(minutes % 60));
  return text;
}

// Fetches one of the two small files and reads it; nullopt with `why` set.
std::optional<std::string> FetchSmall(const SignedPhase::Fetch& fetch, bool oldPhase,
                                      const std::string& folder, std::string_view name, int64_t limit,
                                      std::string* why) {
  const std::string fileName(name);
  try {
    fetch(fileName, ComponentUrl(UpdateServer(), oldPhase, fileName), limit);
  } catch (const download::EipwHTTP& error) {
    *why = error.Code() == 404 ? "サーバーに " + fileName + " がありません。"
                               : fileName + " を取得できません。\r" + error.what();
    return std::nullopt;
  }
  platform::Result<std::string> bytes = platform::ReadWholeFile(folder + fileName);
  platform::RemoveFile(folder + fileName);
  if (!bytes) {
    *why = fileName + " を読み込めません。";
    return std::nullopt;
  }
  return std::move(*bytes);
}

}  // namespace

std::string SigningRefusal(const std::string& reason) {
  return "更新サイトの署名を確認できないため、アップデートを中止しました。\r" + reason +
         "\r\rファイルは何もインストールしていません。";
}

std::variant<SignedPhase, std::string> SignedPhase::Load(const UpdateKey& updateKey, bool oldPhase,
                                                         const std::string& downloadFolder,
                                                         const std::string& installRoot, const Fetch& fetch) {
  if (!updateKey.key) return "このプログラムに設定された公開鍵が正しくありません。";
  const signing::PublicKey& key = *updateKey.key;
  std::string why;
  std::optional<std::string> text =
      FetchSmall(fetch, oldPhase, downloadFolder, signing::kListName, signing::kLongestList, &why);
  if (!text) return why;
  std::optional<std::string> signature =
      FetchSmall(fetch, oldPhase, downloadFolder, signing::kSignatureName, signing::kLongestSignature, &why);
  if (!signature) return why;

  // The signature first: nothing of the list is read before it is known to be the signer's.
  switch (signing::Verify(key, *text, *signature)) {
    case Verdict::Valid:
      break;
    case Verdict::Malformed:
      return "署名ファイル " + std::string(signing::kSignatureName) + " の形式が正しくありません。";
    case Verdict::OtherKey:
      return "一覧は別の鍵で署名されています。";
    case Verdict::BadSignature:
      return "一覧の署名が正しくありません。一覧が途中で書き換えられた可能性があります。";
  }
  std::optional<signing::SignedList> list = signing::ParseSignedList(*text, &why);
  if (!list) return "署名された一覧の形式が正しくありません（" + why + "）。";

  const std::string_view phase = catalogue::PhasePath(oldPhase);
  if (list->phase != phase) return "一覧は別のフォルダ（" + list->phase + "）のものです。";
  const int64_t now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  if (list->expires <= now) return "一覧の有効期限（" + UtcText(list->expires) + "）が過ぎています。";
  const uint64_t last = LastAcceptedSequence(installRoot, phase);
  if (list->sequence < last) {
    return "一覧の番号 " + std::to_string(list->sequence) + " は前回受け入れた番号 " + std::to_string(last) +
           " より古いものです。古い一覧が送られてきた可能性があります。";
  }

  // The list and the catalogue name the same files, no more and no fewer.
  catalogue::StandardChoice all;
  all.fill(true);
  const std::vector<std::string> names = catalogue::BuildFileList(oldPhase, all);
  const std::set<std::string> expected(names.begin(), names.end());
  for (const std::string& name : expected) {
    if (!list->files.contains(name)) return "一覧にファイル " + name + " がありません。";
  }
  for (const auto& [name, file] : list->files) {
    if (!expected.contains(name)) return "一覧に、このアップデートにないファイル " + name + " があります。";
  }
  if (!RecordAcceptedSequence(installRoot, phase, list->sequence)) {
    return std::string(kAcceptedListsName) + " を書き込めません。";
  }
  return SignedPhase(std::move(*list));
}

int64_t SignedPhase::ListedSize(const std::string& name) const {
  auto file = list_.files.find(name);
  return file == list_.files.end() ? 0 : file->second.size;
}

std::string SignedPhase::TooLong(const std::string& name) const {
  return "ファイル " + name + " が一覧の大きさ（" + std::to_string(ListedSize(name)) +
         " バイト）より長く送られてきました。";
}

std::optional<std::string> SignedPhase::CheckDownloads(const std::string& downloadFolder,
                                                       const std::vector<std::string>& fileList) const {
  std::set<std::string> checked;
  for (const std::string& name : fileList) {
    if (!checked.insert(name).second) continue;
    auto listed = list_.files.find(name);
    std::optional<std::filesystem::path> host = platform::ToHost(downloadFolder + name);
    std::optional<signing::FileDigest> digest;
    if (listed != list_.files.end() && host) digest = signing::DigestOfFile(*host, listed->second.size);
    if (digest && digest->size == listed->second.size && digest->sha256 == listed->second.sha256) continue;
    // Kept, it would be taken again by the next click without being asked for.
    KeptDownloads kept(downloadFolder);
    kept.Forget(name);
    kept.Save(true);
    return digest ? "ファイル " + name +
                        " の内容が署名された一覧と一致しません。書き換えられた可能性があります。"
                  : "ファイル " + name + " を確かめられません。";
  }
  return std::nullopt;
}

}  // namespace sorana::update
