#pragma once
// Exceptions of the core layer. Each one ends an operation; the data set or packet involved is
// left as it was before the call.

#include <cstddef>
#include <stdexcept>
#include <string>

namespace vlt {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Malformed text: JSON, a filter expression, a date. `position` is a byte offset into the input.
class ParseError : public Error {
 public:
  ParseError(const std::string& what, std::size_t position)
      : Error(what + " (at offset " + std::to_string(position) + ")"), position_(position) {}
  std::size_t position() const { return position_; }

 private:
  std::size_t position_;
};

// A value that cannot become the type asked for ("abc" as a number, "2026-02-30" as a date).
class ConversionError : public Error {
 public:
  using Error::Error;
};

// An arithmetic result that a decimal cannot hold (more than 38 digits before the point and the
// ones kept after it). A ConversionError, so that the layers naming a field still add it.
class OverflowError : public ConversionError {
 public:
  using ConversionError::ConversionError;
};

// Wrong use of a data set: unknown field, wrong state, a packet that does not match its fields.
class DataSetError : public Error {
 public:
  using Error::Error;
};

}  // namespace vlt
