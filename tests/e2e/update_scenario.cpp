#include "e2e/update_scenario.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/folders.h"
#include "platform/windows_system.h"
#include "tools/prefix_writer.h"
#include "tools/site_builder.h"
#include "tools/wine_tools.h"
#include "update/layout_conversion.h"

namespace sorana::e2e {

namespace fs = std::filesystem;

namespace {

fs::path MakeTempFolder(const char* stem) {
  std::string templ = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + templ);
  return templ;
}

void RemoveTree(const fs::path& root) {
  std::error_code ec;
  // Tests leave read-only files and folders behind; give write back first.
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(root, ec);
}

// The complete site is built once per process and copied for each scenario,
// so that a scenario may corrupt its own copy.
class PristineSite {
 public:
  static const fs::path& Root() {
    static PristineSite site;
    return site.root_;
  }
  ~PristineSite() { RemoveTree(base_); }

 private:
  PristineSite() : base_(MakeTempFolder("sorana-e2e-site")), root_(base_ / "site") {
    tools::BuildSite(root_, tools::Scale::Small);
  }
  fs::path base_;
  fs::path root_;
};

constexpr const char* kVariables[] = {"WINEPREFIX",
                                      "TMPDIR",
                                      "SORANA_UPDATE_SERVER",
                                      "SORANA_UPDATE_PUBLIC_KEY",
                                      "http_proxy",
                                      "HTTP_PROXY",
                                      "https_proxy",
                                      "HTTPS_PROXY",
                                      "all_proxy",
                                      "ALL_PROXY",
                                      "no_proxy",
                                      "NO_PROXY"};

}  // namespace

struct UpdateScenario::Environment {
  std::map<std::string, std::optional<std::string>> saved;

  Environment() {
    for (const char* name : kVariables) {
      const char* value = std::getenv(name);
      saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
      unsetenv(name);
    }
  }
  ~Environment() {
    for (const auto& [name, value] : saved)
      value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  }
};

catalogue::StandardChoice AllStandards() {
  catalogue::StandardChoice all;
  all.fill(true);
  return all;
}

catalogue::StandardChoice Standards(std::initializer_list<int> indexes) {
  catalogue::StandardChoice choice{};
  for (int index : indexes) choice.at(static_cast<size_t>(index)) = true;
  return choice;
}

UpdateScenario::UpdateScenario(const ScenarioOptions& options) {
  const fs::path& pristine = PristineSite::Root();
  base_ = MakeTempFolder("sorana-e2e");
  prefixRoot_ = base_ / "prefix";
  siteRoot_ = base_ / "site";
  tempRoot_ = base_ / "tmp";
  fs::create_directories(tempRoot_);
  fs::copy(pristine, siteRoot_, fs::copy_options::recursive);
  // A prefix that Wine itself made once for the test run, where there is one.
  if (const char* wineBase = std::getenv("SORANA_TEST_WINE_PREFIX"); wineBase && fs::is_directory(wineBase)) {
    fs::copy(wineBase, prefixRoot_, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  }
  tools::WritePrefix({prefixRoot_, options.installed, options.standards, false});

  environment_ = std::make_unique<Environment>();
  setenv("WINEPREFIX", prefixRoot_.c_str(), 1);
  setenv("TMPDIR", tempRoot_.c_str(), 1);
  platform::SetActiveSystem(platform::WindowsSystem(prefixRoot_));
  if (options.serve) {
    server_ = std::make_unique<test::HttpTestServer>(siteRoot_);
    UseServer(server_->BaseUrl());
  }
}

UpdateScenario::~UpdateScenario() {
  tools::EndWineserver(prefixRoot_);
  server_.reset();
  environment_.reset();
  RemoveTree(base_);
}

void UpdateScenario::UseServer(const std::string& baseUrl) {
  setenv("SORANA_UPDATE_SERVER", baseUrl.c_str(), 1);
}

fs::path UpdateScenario::DownloadFolder(bool oldPhase) const {
  // Where the updater puts it: the prefix's temporary folder, else ours below TMPDIR.
  return Host(platform::GetTempFolder() + (oldPhase ? "SorOldUp" : "SorNewUp"));
}

fs::path UpdateScenario::Host(std::string_view windowsPath) const {
  std::optional<fs::path> host = platform::WindowsSystem(prefixRoot_).ToHost(windowsPath);
  if (!host) throw std::runtime_error("no host path for " + std::string(windowsPath));
  return *host;
}

bool UpdateScenario::Exists(std::string_view windowsPath) const {
  std::error_code ec;
  return fs::exists(Host(windowsPath), ec);
}

void UpdateScenario::UseTwoFolderLayout() {
  update::ConvertLayout(kInstallRoot, std::string(kInstallRoot) + "VMSORANA.INI",
                        {nullptr, nullptr, update::kViewerRegistrationBound});
}

void UpdateScenario::Serve(bool oldPhase, const std::string& name, std::string_view bytes) {
  WriteHostFile(tools::SitePath(siteRoot_, oldPhase, name), bytes);
}

std::string UpdateScenario::Served(bool oldPhase, const std::string& name) const {
  return ReadHostFile(tools::SitePath(siteRoot_, oldPhase, name)).value();
}

std::map<fs::path, std::string> UpdateScenario::SnapshotUserFiles() const {
  std::map<fs::path, std::string> files;
  for (const char* relative : {"VMSORANA.INI", "Install.ini", "fotodesk.exe", "OLD_BIN\\Install.ini",
                               "OLD_BIN\\fotodesk.exe", "New_BIN\\Install.ini", "New_BIN\\fotodesk.exe"}) {
    fs::path path = Product(relative);
    if (std::optional<std::string> bytes = ReadHostFile(path)) files[path] = *bytes;
  }
  return files;
}

std::optional<std::string> ReadHostFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteHostFile(const fs::path& path, std::string_view bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::string> FileNames(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file()) names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace sorana::e2e
