// The private folders the phases download into.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "update/update_record.h"

namespace sorana::update {

// Makes the phase's download folder below the user's temporary folder. nullopt
// when it may be used; else why not, for the error box: nothing is fetched
// into a folder that someone else could plant files in.
std::optional<std::string> PrepareDownloadFolder(const std::string& folder);

// The phase's downloads as they lie in `folder`, for the record; nullopt when one is missing.
std::optional<std::vector<ArrivedFile>> ArrivedFiles(const std::string& folder,
                                                     const std::vector<std::string>& fileList);

// Whether a stopped attempt left every file of `fileList` in `folder` as it
// arrived whole (the same files, each its recorded size): the installation
// can go on from them without fetching anything.
bool DownloadsStillWhole(const std::string& folder, const std::vector<std::string>& fileList,
                         const std::vector<ArrivedFile>& arrived);

}  // namespace sorana::update
