// Wine's own tools on a prefix: wineboot makes a prefix as Wine itself
// would, and Wine's reg writes the product key, so that a prefix the site
// tool writes is one that Wine accepts without "updating the configuration"
// in the middle of an update.
#pragma once

#include <filesystem>
#include <string>

namespace sorana::tools {

// True when `wine`, `wineboot` and `wineserver` are on PATH.
bool WineAvailable();

// Makes the prefix with `wineboot -i` (Mono and Gecko not offered) and waits
// until its wineserver has written the registry and ended. Throws SiteError
// when Wine fails or takes longer than a few minutes.
void BootPrefix(const std::filesystem::path& root, bool win64);

// `wine reg add KEY /v NAME /t REG_SZ /d DATA /f /reg:32` in the prefix, then
// waits for its wineserver to end. Throws SiteError on failure.
void WineRegAddString(const std::filesystem::path& root, const std::string& key, const std::string& name,
                      const std::string& data);

// Ends the prefix's wineserver and every Wine process of that prefix, and no
// other; nothing happens when none runs or Wine is not installed.
void EndWineserver(const std::filesystem::path& root) noexcept;

}  // namespace sorana::tools
