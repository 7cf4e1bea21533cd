#include "site_test_support.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "tools/site_commands.h"

namespace sorana::test {

namespace fs = std::filesystem;

SiteRun RunSiteCommand(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  SiteRun run;
  run.status = tools::RunSite(args, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

ScratchFolder::ScratchFolder() {
  std::string templ = (fs::temp_directory_path() / "sorana-site-test-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

}  // namespace sorana::test
