// The sequence number of the last signed list this installation accepted, per
// phase, so that an older list (signed once, now replayed by someone on the
// path) is refused. It lives in the install root beside the run's record,
// "SorSign.ini", because it belongs to the installation, must outlive the
// process and the temporary folder, and needs no registry rights; it is
// written through the host's atomic writer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace sorana::update {

inline constexpr std::string_view kAcceptedListsName = "SorSign.ini";

// 0 when no list of `phase` ("/sorana/20240410/") was accepted yet.
uint64_t LastAcceptedSequence(const std::string& installRoot, std::string_view phase);
// Records `sequence` when it is above the last one.
platform::Status RecordAcceptedSequence(const std::string& installRoot, std::string_view phase,
                                        uint64_t sequence);

}  // namespace sorana::update
