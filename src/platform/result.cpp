#include "platform/result.h"

#include <cstring>

namespace sorana::platform {

std::string HostError::Text() const {
  if (code == 0) return what;
  const std::string reason = std::strerror(code);
  return what.empty() ? reason : what + ": " + reason;
}

}  // namespace sorana::platform
