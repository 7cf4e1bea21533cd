// The tool's command line: a subcommand, its operands and its --name value
// options, and the readers of the option values. Every problem throws
// UsageError with a one-line message.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "tools/program_file_writer.h"
#include "tools/site_components.h"

namespace sorana::tools {

class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

struct CommandLine {
  std::string command;
  std::vector<std::string> operands;
  std::map<std::string, std::string> options;  // without the leading "--"
  std::set<std::string> flags;                 // options without a value

  std::optional<std::string> Option(const std::string& name) const;
};

struct CommandSyntax {
  size_t minOperands = 0;
  size_t maxOperands = 0;
  std::set<std::string> valueOptions;
  std::set<std::string> flagOptions;
};

// Splits the arguments after the command name ("--name value" or "--name=value").
CommandLine ParseCommandLine(const std::string& command, const std::vector<std::string>& args,
                             const CommandSyntax& syntax);

// "all", "none" or indices of the check list separated by commas ("0,1,5").
catalogue::StandardChoice ParseStandards(const std::string& text);
// "1.1.0.0" or "v1.1.0.0"; missing trailing parts are 0 ("1.1" is 1.1.0.0).
VersionParts ParseVersion(const std::string& text);
Scale ParseScale(const std::string& text);
// A TCP port, 0 to 65535.
int ParsePort(const std::string& text);
// A whole number of at most `limit`.
uint64_t ParseCount(const std::string& option, const std::string& text, uint64_t limit);

}  // namespace sorana::tools
