// Folder entries as Amiga LhA writes them: the method -lh0-, no data and no
// file name, only a folder, where every other archiver writes -lhd-. liblhasa
// refuses such a member as a broken header, so an archive made on an Amiga
// would read as damaged after its first folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace unlha32 {

// `archive` with every such entry of an Amiga archive (OS type 'A', level 1
// or 2) marked as the folder it is (-lhd-, its header's checksum or CRC made
// again); nullopt when it has none. Stops at the first header it cannot read,
// which the reader then reports as before.
std::optional<std::string> MarkAmigaFolders(std::string_view archive);

}  // namespace unlha32
