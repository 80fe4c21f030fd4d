#pragma once
// A point in time: seconds since 1970-01-01 00:00:00 UTC as a double, like the platform's date value.

#include <compare>
#include <string>

namespace talvaren::platform {

class Date {
 public:
  /// The current instant of the platform clock (see talvaren/testing/Clock.hpp for tests).
  Date();
  explicit constexpr Date(double secondsSince1970) : seconds_(secondsSince1970) {}

  static Date now() { return Date(); }
  static constexpr Date fromTimeIntervalSince1970(double seconds) { return Date(seconds); }
  /// The platform's reference date, 2001-01-01 00:00:00 UTC.
  static constexpr double timeIntervalBetween1970AndReferenceDate = 978307200.0;

  constexpr double timeIntervalSince1970() const { return seconds_; }
  constexpr double timeIntervalSince(const Date& other) const { return seconds_ - other.seconds_; }
  double timeIntervalSinceNow() const { return seconds_ - Date().seconds_; }
  constexpr Date addingTimeInterval(double seconds) const { return Date(seconds_ + seconds); }

  /// Standard text form, always in UTC: "yyyy-MM-dd HH:mm:ss +0000".
  std::string description() const;

  friend constexpr bool operator==(const Date& a, const Date& b) { return a.seconds_ == b.seconds_; }
  friend constexpr std::partial_ordering operator<=>(const Date& a, const Date& b) {
    return a.seconds_ <=> b.seconds_;
  }

 private:
  double seconds_;
};

/// Reads the platform clock: seconds since 1970.
double clockNow();

}  // namespace talvaren::platform

namespace talvaren {
using platform::Date;
}
