// The subcommands of sorana-site: list, build, serve, prefix, inspect, version.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sorana::tools {

// Runs the command line (without the program name). Returns the exit status:
// 0 on success, 1 when the work failed, 2 for a usage error. Every failure is
// one line on `err`.
int RunSite(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sorana::tools
