#include "update/download_folder.h"

#include <cerrno>
#include <cstring>

#include "platform/file_system.h"
#include "platform/private_folder.h"

namespace sorana::update {

std::optional<std::string> PrepareDownloadFolder(const std::string& folder) {
  const platform::Result<platform::FolderTrust> trust = platform::ForcePrivateFolder(folder);
  if (!trust) return "フォルダを作成できません。" + std::string(std::strerror(trust.error().code));
  switch (*trust) {
    case platform::FolderTrust::Private:
      return std::nullopt;
    case platform::FolderTrust::Missing:
      return "フォルダを作成できません。" + std::string(std::strerror(ENOENT));
    case platform::FolderTrust::SymbolicLink:
      return "シンボリックリンクです。";
    case platform::FolderTrust::NotAFolder:
      return "フォルダではありません。";
    case platform::FolderTrust::ForeignOwner:
      return "他のユーザーが所有しています。";
    case platform::FolderTrust::WritableByOthers:
      return "他のユーザーが書き込めます。";
  }
  return "";
}

std::optional<std::vector<ArrivedFile>> ArrivedFiles(const std::string& folder,
                                                     const std::vector<std::string>& fileList) {
  std::vector<ArrivedFile> files;
  files.reserve(fileList.size());
  for (const std::string& name : fileList) {
    platform::Result<uint64_t> size = platform::FileSize(folder + name);
    if (!size) return std::nullopt;
    files.push_back({name, *size});
  }
  return files;
}

bool DownloadsStillWhole(const std::string& folder, const std::vector<std::string>& fileList,
                         const std::vector<ArrivedFile>& arrived) {
  if (arrived.size() != fileList.size()) return false;
  for (size_t i = 0; i < fileList.size(); ++i) {
    if (arrived[i].name != fileList[i]) return false;
    platform::Result<uint64_t> size = platform::FileSize(folder + fileList[i]);
    if (!size || *size != arrived[i].size) return false;
  }
  return true;
}

}  // namespace sorana::update
