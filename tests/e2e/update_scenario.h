// One user's machine for a whole update: a Wine prefix with the product
// installed as a first installation leaves it, a complete update site served
// over loopback by the fault-injecting test server, and the process
// environment (WINEPREFIX, TMPDIR, SORANA_UPDATE_SERVER, no proxy variables)
// pointing the core at both. Everything is restored and removed afterwards.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "support/http_test_server.h"
#include "tools/program_file_writer.h"

namespace sorana::e2e {

inline constexpr const char* kInstallRoot = "C:\\VELMORA\\SORANA\\";

struct ScenarioOptions {
  std::optional<tools::VersionParts> installed = tools::VersionParts{1, 1, 0, 0};
  catalogue::StandardChoice standards{};  // recorded in Install.ini, their plug-ins installed
  bool serve = true;                      // start the test server on the site
};

// Every standard chosen.
catalogue::StandardChoice AllStandards();
// The given standards chosen.
catalogue::StandardChoice Standards(std::initializer_list<int> indexes);

class UpdateScenario {
 public:
  explicit UpdateScenario(const ScenarioOptions& options = {});
  ~UpdateScenario();
  UpdateScenario(const UpdateScenario&) = delete;
  UpdateScenario& operator=(const UpdateScenario&) = delete;

  const std::filesystem::path& PrefixRoot() const { return prefixRoot_; }
  const std::filesystem::path& SiteRoot() const { return siteRoot_; }
  const std::filesystem::path& TempRoot() const { return tempRoot_; }
  // Host folder of a phase's download folder (the temporary folder + SorOldUp / SorNewUp).
  std::filesystem::path DownloadFolder(bool oldPhase) const;
  test::HttpTestServer& Server() { return *server_; }
  // Points the updater at another server (SORANA_UPDATE_SERVER).
  void UseServer(const std::string& baseUrl);

  // Host path of a Windows path on C:, resolved like the updater resolves it
  // (letter case ignored); the spelled path when nothing exists there yet.
  std::filesystem::path Host(std::string_view windowsPath) const;
  // Host path below the install root.
  std::filesystem::path Product(std::string_view relative) const {
    return Host(std::string(kInstallRoot) + std::string(relative));
  }
  bool Exists(std::string_view windowsPath) const;

  // Brings the installation to the two-folder layout an earlier update left,
  // with the settings file kept in the product folder where the user has it.
  void UseTwoFolderLayout();

  // Replaces a component the site offers.
  void Serve(bool oldPhase, const std::string& name, std::string_view bytes);
  std::string Served(bool oldPhase, const std::string& name) const;

  // The files the user owns and must never find corrupted: the settings file,
  // the standards records and the installed main programs, by host path.
  std::map<std::filesystem::path, std::string> SnapshotUserFiles() const;

 private:
  struct Environment;
  std::filesystem::path base_;
  std::filesystem::path prefixRoot_;
  std::filesystem::path siteRoot_;
  std::filesystem::path tempRoot_;
  std::unique_ptr<Environment> environment_;
  std::unique_ptr<test::HttpTestServer> server_;
};

// Reads a whole host file; nullopt when it cannot be read.
std::optional<std::string> ReadHostFile(const std::filesystem::path& path);
void WriteHostFile(const std::filesystem::path& path, std::string_view bytes);
// Names of the regular files directly in a host folder, sorted.
std::vector<std::string> FileNames(const std::filesystem::path& folder);

}  // namespace sorana::e2e
