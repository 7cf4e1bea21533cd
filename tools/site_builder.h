// Writes a complete update site below a folder: every component file of both
// phases, as the update server offers them, under sorana/v128/ and
// sorana/20240410/.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/site_components.h"

namespace sorana::tools {

struct SiteFileEntry {
  bool oldPhase;
  bool programRow;
  std::string name;  // catalogue name (UTF-8)
};

// Every distinct file of the site, old phase first, each phase in fetch order
// (a name a phase lists twice appears once).
std::vector<SiteFileEntry> SiteFiles();

// Host path of a component below the site folder.
std::filesystem::path SitePath(const std::filesystem::path& siteRoot, bool oldPhase, const std::string& name);

struct BuildSummary {
  size_t files = 0;
  uint64_t bytes = 0;
};

// Writes every file (each one atomically); files already there are replaced.
// Throws SiteError when a file cannot be written.
BuildSummary BuildSite(const std::filesystem::path& siteRoot, Scale scale);

}  // namespace sorana::tools
