// How an operation of the host reports a failure: it returns a Result, which
// holds either its value or the HostError that says why there is none.
//
// One way across the layers, and no state beside the call: a failure travels
// with the answer, so a reason cannot be overwritten by a later call, read on
// the wrong thread or forgotten between the call and the box that shows it.
// The interface follows std::optional's (has_value, *, ->, value_or) so that a
// call site reads the same; error() tells why it failed.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace sorana::platform {

struct HostError {
  // errno's number, the same on every host: what the core decides by
  // (ENOENT, EEXIST, EACCES, ...). 0 for a failure no system call made (data
  // that does not decode, a path that names no drive is ENOENT).
  int code = 0;
  // The system's own number for the same failure, which the installation's
  // failure box shows: GetLastError's on Windows (5 for access denied, 112 for a
  // full disk), errno on Linux.
  unsigned long system = 0;
  // What failed, when the code alone does not say it ("cannot open X").
  std::string what;

  // `what` and the system's text for `code`, for messages and logs.
  std::string Text() const;
};

// The failure errno's `code` names, with its system number on this host.
HostError ErrnoError(int code, std::string what = {});
// The failure the last system call of this thread reported (errno, or
// GetLastError on Windows).
HostError LastSystemError(std::string what = {});

template <class T>
class Result {
 public:
  Result(HostError error) : error_(std::move(error)) {}
  Result(const T& value) : value_(value) {}
  Result(T&& value) : value_(std::move(value)) {}

  bool has_value() const { return value_.has_value(); }
  explicit operator bool() const { return has_value(); }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }
  T&& operator*() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& value() & { return value_.value(); }
  const T& value() const& { return value_.value(); }
  template <class U>
  T value_or(U&& fallback) const& {
    return value_.value_or(std::forward<U>(fallback));
  }
  // Why there is no value; a default HostError when there is one.
  const HostError& error() const { return error_; }

  // Equal to a value when it holds that value, as std::optional.
  friend bool operator==(const Result& result, const T& value) { return result.value_ == value; }

 private:
  std::optional<T> value_;
  HostError error_;
};

// A Result with no value: done, or why not.
template <>
class Result<void> {
 public:
  Result() = default;
  Result(HostError error) : failed_(true), error_(std::move(error)) {}

  bool has_value() const { return !failed_; }
  explicit operator bool() const { return !failed_; }
  const HostError& error() const { return error_; }

 private:
  bool failed_ = false;
  HostError error_;
};

using Status = Result<void>;

// For a run that goes on after a failure: keeps the first one in `soFar`.
inline void KeepFirstFailure(Status& soFar, Status next) {
  if (soFar && !next) soFar = std::move(next);
}

}  // namespace sorana::platform
