// The one way a failure travels through the program: a function that can fail returns a
// Status, from where the failure happens (the files, the database, the scan) up to the job,
// which alone turns it into console texts and an exit code.
//
// A Status is either ok or a failure of one kind (its code) with one line of words for the
// administrator (its message): what failed and why, as "cannot read 'in.sql': No such file or
// directory". A message names files and quotes a driver's own diagnostic, but never holds a
// password. A cancelled choice of the operator is a failure without words.
//
// Exceptions are not a channel for failures: only std::bad_alloc (no memory) is thrown.
#pragma once

#include <string>
#include <utility>

class [[nodiscard]] Status {
 public:
  enum class Code : unsigned char {
    kOk,
    kCancelled,        // the operator chose not to go on; the message is empty
    kInvalidArgument,  // nothing to work on: an empty file name or table set
    kReadError,        // an input cannot be read whole, or changed while it was read
    kWriteError,       // an output cannot be written, or cannot take its path's place
    kNotFound,         // an input holds nothing of what it must hold
    kMalformed,        // an input holds what the program cannot take apart
    kDatabaseError,    // the database cannot be reached, read or asked
  };

  Status() = default;  // ok
  static Status Ok() { return Status(); }
  static Status Error(Code code, std::string message) { return Status(code, std::move(message)); }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  // Empty when ok or cancelled; otherwise one line, without its line end.
  const std::string& message() const { return message_; }

 private:
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}

  Code code_ = Code::kOk;
  std::string message_;
};
