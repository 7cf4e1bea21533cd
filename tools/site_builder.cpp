#include "tools/site_builder.h"

#include <set>
#include <utility>

#include "catalogue/catalogue.h"
#include "tools/host_files.h"
#include "tools/site_error.h"

namespace sorana::tools {

namespace fs = std::filesystem;

std::vector<SiteFileEntry> SiteFiles() {
  catalogue::StandardChoice all;
  all.fill(true);
  std::vector<SiteFileEntry> files;
  for (bool oldPhase : {true, false}) {
    std::vector<std::string> list = catalogue::BuildFileList(oldPhase, all);
    std::set<std::string> seen;
    for (size_t i = 0; i < list.size(); ++i) {
      if (!seen.insert(list[i]).second) continue;
      files.push_back({oldPhase, i < static_cast<size_t>(catalogue::ProgramCount(oldPhase)), list[i]});
    }
  }
  return files;
}

fs::path SitePath(const fs::path& siteRoot, bool oldPhase, const std::string& name) {
  // Catalogue names are plain file names; anything else must not leave the phase folder.
  if (name.empty() || name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
      name == "." || name == "..") {
    throw SiteError("catalogue name is not a plain file name: " + name);
  }
  std::string_view phase = catalogue::PhasePath(oldPhase);
  return siteRoot / fs::path(std::string(phase.substr(1))) / name;
}

BuildSummary BuildSite(const fs::path& siteRoot, Scale scale) {
  BuildSummary summary;
  for (const SiteFileEntry& file : SiteFiles()) {
    std::string bytes = ServedBytes(file.oldPhase, file.name, file.programRow, scale);
    WriteHostFile(SitePath(siteRoot, file.oldPhase, file.name), bytes, Flush::Later);
    ++summary.files;
    summary.bytes += bytes.size();
  }
  FlushFileSystem(siteRoot);
  return summary;
}

}  // namespace sorana::tools
