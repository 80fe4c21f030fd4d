#pragma once
// Test-only: switch the device's current time zone (and locale) for one scope, then put back what
// was current before. Never change the process environment to switch zones.

#include <string_view>

#include "talvaren/platform/Calendar.hpp"
#include "talvaren/platform/TimeZone.hpp"

namespace talvaren::testkit {

class ScopedTimeZone {
 public:
  /// Makes the zone of an IANA name current; an unknown name leaves the zone as it was.
  explicit ScopedTimeZone(std::string_view identifier) : previous_(platform::TimeZone::current()) {
    platform::TimeZone::setCurrent(identifier);
  }
  explicit ScopedTimeZone(const platform::TimeZone& zone) : previous_(platform::TimeZone::current()) {
    platform::TimeZone::setCurrent(zone);
  }
  ~ScopedTimeZone() { platform::TimeZone::setCurrent(previous_); }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  platform::TimeZone previous_;
};

class ScopedLocale {
 public:
  explicit ScopedLocale(const platform::Locale& locale) : previous_(platform::Locale::current()) {
    platform::Locale::setCurrent(locale);
  }
  ~ScopedLocale() { platform::Locale::setCurrent(previous_); }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;

 private:
  platform::Locale previous_;
};

}  // namespace talvaren::testkit
