// Helpers of the update-site tool's tests: running the tool's commands in the
// process, and a scratch folder removed at the end of the test.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace sorana::test {

struct SiteRun {
  int status = -1;
  std::string out;
  std::string err;
};

SiteRun RunSiteCommand(const std::vector<std::string>& args);

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace sorana::test
