// The program's general error: raised by CreateError, caught around Unpress and
// by the window's general error handling, which shows its text in an error box.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace sorana::form {

class AppError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raises AppError whose text is `message` followed by one CR. Never returns.
[[noreturn]] inline void CreateError(std::string_view message) {
  throw AppError(std::string(message) + "\r");
}

}  // namespace sorana::form
