// Where the component files come from: scheme and host in front of the phase
// paths of the catalogue.
#pragma once

#include <string>
#include <string_view>

namespace sorana::update {

// SORANA_UPDATE_SERVER from the environment when set and non-empty, else the
// server the program was built with; without a trailing slash.
std::string UpdateServer();

// The server's URL of a catalogue name in a phase. The name is sent as UTF-8,
// percent-encoded outside the unreserved characters.
std::string ComponentUrl(std::string_view server, bool oldPhase, std::string_view fileName);

}  // namespace sorana::update
