// The program's general error: raised by CreateError, caught around Unpress and
// by the window's general error handling, which shows its text in an error box.
// It carries the host's failure that caused it, whose system number the
// installation's failure box shows.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "platform/result.h"

namespace sorana::form {

class AppError : public std::runtime_error {
 public:
  explicit AppError(const std::string& message, platform::HostError cause = {})
      : std::runtime_error(message), cause_(std::move(cause)) {}

  // Why the host refused, when a host operation failed; code 0 otherwise.
  const platform::HostError& Cause() const { return cause_; }

 private:
  platform::HostError cause_;
};

// Raises AppError whose text is `message` followed by one CR. Never returns.
[[noreturn]] inline void CreateError(std::string_view message, platform::HostError cause = {}) {
  throw AppError(std::string(message) + "\r", std::move(cause));
}

}  // namespace sorana::form
