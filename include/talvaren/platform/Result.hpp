#pragma once
// The outcome of a step that yields a value or fails: the value, or the error that prevented it. The file
// manager's results (`FileResult`) and the HTTP layer's (`http::Result`) are this one template.

#include <cstddef>
#include <utility>
#include <variant>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform {

template <typename Value>
class Result {
 public:
  Result(Value value) : storage_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : storage_(std::in_place_index<1>, std::move(error)) {}
  static Result success(Value value) { return Result(std::move(value)); }
  static Result failure(Error error) { return Result(std::move(error)); }

  bool isSuccess() const { return storage_.index() == 0; }
  bool isFailure() const { return storage_.index() == 1; }
  explicit operator bool() const { return isSuccess(); }
  /// The value on success, otherwise nullptr.
  const Value* value() const { return std::get_if<0>(&storage_); }
  Value* value() { return std::get_if<0>(&storage_); }
  /// The error on failure, otherwise nullptr.
  const Error* error() const { return std::get_if<1>(&storage_); }

 private:
  std::variant<Value, Error> storage_;
};

}  // namespace talvaren::platform
