#pragma once
// The outcome of an HTTP step: a value or an error.

#include <utility>
#include <variant>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform::http {

template <typename Value>
class Result {
 public:
  static Result success(Value value) { return Result(std::in_place_index<0>, std::move(value)); }
  static Result failure(Error error) { return Result(std::in_place_index<1>, std::move(error)); }

  bool isSuccess() const { return storage_.index() == 0; }
  bool isFailure() const { return storage_.index() == 1; }
  /// The value on success, otherwise nullptr.
  const Value* value() const { return std::get_if<0>(&storage_); }
  Value* value() { return std::get_if<0>(&storage_); }
  /// The error on failure, otherwise nullptr.
  const Error* error() const { return std::get_if<1>(&storage_); }

 private:
  template <std::size_t I, typename T>
  Result(std::in_place_index_t<I> index, T&& content) : storage_(index, std::forward<T>(content)) {}
  std::variant<Value, Error> storage_;
};

}  // namespace talvaren::platform::http
