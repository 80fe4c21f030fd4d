#pragma once
// Test-only: make a named zone the device's current zone for the lifetime of a scope.

#include <stdexcept>
#include <string>

#include "talvaren/platform/TimeZone.hpp"

namespace talvaren::testsupport {

class ScopedZone {
 public:
  explicit ScopedZone(const std::string& identifier) {
    if (!platform::TimeZone::setCurrent(identifier)) throw std::invalid_argument("unknown zone " + identifier);
  }
  ~ScopedZone() { platform::TimeZone::resetCurrent(); }
  ScopedZone(const ScopedZone&) = delete;
  ScopedZone& operator=(const ScopedZone&) = delete;
};

}  // namespace talvaren::testsupport
