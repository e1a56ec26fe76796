#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace scribeline {

// The outcome of something that may be refused or may fail: ok, or a
// one-line reason without line feed ("No such file or directory", "the file
// is empty"). The reason is a fragment: the caller puts it into its own
// message ("Could not save the mask to PATH: REASON"), so its text is part
// of what the program prints.
//
// Every refusal and error below app/ is reported this way, or as a Result
// (a value or a Status), never as a flag beside an out-parameter string.
class Status {
 public:
  // Ok.
  Status() = default;

  // REQUIRES: `reason` is not empty.
  static Status failure(std::string reason) {
    assert(!reason.empty());
    return Status(std::move(reason));
  }

  bool ok() const { return !reason_.has_value(); }

  // Why not ok; empty when ok.
  const std::string& reason() const {
    static const std::string kNone;
    return reason_ ? *reason_ : kNone;
  }

 private:
  explicit Status(std::string reason) : reason_(std::move(reason)) {}

  std::optional<std::string> reason_;
};

// A value, or the Status saying why there is none. Built implicitly from
// either, so that a function returns `value` or `Status::failure(...)`.
template <class T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT(runtime/explicit)
  // REQUIRES: !failure.ok().
  Result(Status failure) : status_(std::move(failure)) {  // NOLINT
    assert(!status_.ok());
  }

  bool ok() const { return status_.ok(); }
  const Status& status() const { return status_; }
  const std::string& reason() const { return status_.reason(); }

  // REQUIRES: ok().
  const T& value() const& { return *value_; }
  T& value() & { return *value_; }
  T&& value() && { return std::move(*value_); }

  // The value, or `fallback` when there is none.
  T valueOr(T fallback) const& { return value_ ? *value_ : fallback; }

 private:
  Status status_;
  std::optional<T> value_;
};

}  // namespace scribeline
