#pragma once
// An import failure, as the retrieval delegate receives it.

#include <optional>
#include <string>

#include "talvaren/platform/Error.hpp"

namespace talvaren {

class ErrorRetrieve {
 public:
  enum class Kind {
    /// The health store refused or failed; the message is its error's localised description.
    errorHealthKit,
    /// A Fitbit request failed; the message is the request's error code in decimal.
    errorFitbitData,
    /// A Garmin request failed; the message is the request's error code in decimal, or
    /// "no internet connection".
    errorGarminData,
    /// The health store refused without giving an error; no message.
    errorHealthKitAuthorization,
  };

  static ErrorRetrieve errorHealthKit(std::string message) { return {Kind::errorHealthKit, std::move(message)}; }
  static ErrorRetrieve errorFitbitData(std::string message) { return {Kind::errorFitbitData, std::move(message)}; }
  static ErrorRetrieve errorGarminData(std::string message) { return {Kind::errorGarminData, std::move(message)}; }
  static ErrorRetrieve errorHealthKitAuthorization() { return {Kind::errorHealthKitAuthorization, std::nullopt}; }

  Kind kind() const { return kind_; }
  /// The case's text; absent for errorHealthKitAuthorization.
  const std::optional<std::string>& message() const { return message_; }

  friend bool operator==(const ErrorRetrieve& a, const ErrorRetrieve& b) {
    return a.kind_ == b.kind_ && a.message_ == b.message_;
  }

 private:
  ErrorRetrieve(Kind kind, std::optional<std::string> message) : kind_(kind), message_(std::move(message)) {}

  Kind kind_;
  std::optional<std::string> message_;
};

/// The error value handed on as a platform error: domain "TalvarenKit.ErrorRetrieve", the case's position
/// as its code (0 errorHealthKit, 1 errorFitbitData, 2 errorGarminData, 3 errorHealthKitAuthorization) and
/// no description of its own.
Error toError(const ErrorRetrieve& error);

}  // namespace talvaren
