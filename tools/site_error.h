// The one failure the update-site tool reports: a one-line message for the user.
#pragma once

#include <stdexcept>
#include <string>

namespace sorana::tools {

class SiteError : public std::runtime_error {
 public:
  explicit SiteError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace sorana::tools
