// Making what was written durable at a point of the caller's choosing, for a
// record that must never be on the disk before the files it speaks of.
#pragma once

#include <string_view>

#include "platform/result.h"

namespace sorana::platform {

// Makes everything written so far below `folder` (a Windows path text, ends in a backslash) durable:
// once it succeeds a power cut keeps every file and rename made before the call.
// Fails when the folder is missing or a flush failed.
//
// Linux: one flush of the file system that holds the folder (syncfs). Windows:
// one flush of the folder's volume where that is allowed (an administrator),
// else (a user; Wine, which opens a volume but cannot flush it) each file
// below the folder, then each folder, one by one, links and junctions not
// followed; a file that cannot be opened for writing (read-only, or in use
// without sharing) cannot be flushed and makes it fail.
Status FlushToDisk(std::string_view folder);

}  // namespace sorana::platform
