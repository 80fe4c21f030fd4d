#include "talvaren/utilities/DateExtensions.hpp"

#include "talvaren/platform/TimeZone.hpp"

namespace talvaren {

Date localTimetoUTC(const Date& date) {
  const auto offset = static_cast<double>(TimeZone::current().secondsFromGMT(date));
  return Date(date.timeIntervalSince1970() - offset);
}

Date UTCToLocalTime(const Date& date) {
  const auto offset = static_cast<double>(TimeZone::current().secondsFromGMT(date));
  return Date(date.timeIntervalSince1970() + offset);
}

}  // namespace talvaren
