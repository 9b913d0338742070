// Status and Result: how the tool's readers and writers report failures users can cause.
//
// Nothing here throws through the API or prints; a failure carries one
// message that names the file (and the field or mesh) and the reason, ready
// for the command-line front to show as it stands.
#ifndef KURVO_MEDIA_RESULT_H
#define KURVO_MEDIA_RESULT_H

#include <optional>
#include <string>
#include <utility>

namespace kurvo::media {

class Status {
 public:
  static Status success() { return Status(); }
  static Status failure(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !message_.has_value(); }
  explicit operator bool() const { return ok(); }
  // Empty when ok().
  const std::string& message() const {
    static const std::string none;
    return message_ ? *message_ : none;
  }

 private:
  Status() = default;
  explicit Status(std::string message) : message_(std::move(message)) {}
  std::optional<std::string> message_;
};

template <class T>
class Result {
 public:
  Result(T value) : value_(std::move(value)), status_(Status::success()) {}
  // A failed status only; a successful one without a value is a programming error.
  Result(Status failure) : status_(std::move(failure)) {}

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  T& value() { return *value_; }
  const T& value() const { return *value_; }
  const std::string& message() const { return status_.message(); }
  const Status& status() const { return status_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace kurvo::media

#endif
