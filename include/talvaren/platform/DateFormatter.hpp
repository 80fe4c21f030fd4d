#pragma once
// Turns instants into text and back by a fixed pattern, in a time zone, always with the Gregorian
// calendar and ASCII digits.
//
// Pattern letters (a run of one letter is one field; text in single quotes, and any character that is
// not an ASCII letter, stands for itself; '' is a quote):
//   y     year: "y" as many digits as needed, "yy" the last two, "yyyy" at least four
//   M     month: "M"/"MM" number, "MMM" short name, "MMMM" full name
//   d     day of the month          E  weekday: "E"-"EEE" short name, "EEEE" full name
//   H     hour 0-23                 h  hour 1-12 ("h" not zero-padded, "hh" two digits)
//   m     minute                    s  second
//   S     fraction of the second, one digit per letter ("SSSSSS" microseconds)
//   a     the AM/PM symbol ("AM" and "PM" unless set otherwise)
//   Z     zone offset: "Z"-"ZZZ" "+0100", "ZZZZ" "GMT+01:00", "ZZZZZ" "+01:00" or "Z" for zero;
//         seconds follow only for offsets that have them (local mean time: "-045602")
// Other ASCII letters are reserved and stand for themselves.
//
// Parsing reads the whole text: any character left over, a missing field or separator, a field out
// of range (month 13, 30 February, minute 60) gives no date. Number fields take one or more digits
// (exactly as many as the pattern has letters when another number field follows directly); a fraction
// takes one to nine digits. A parsed "Z" offset fixes the instant; without one the local reading is
// taken in the formatter's zone (a reading skipped by summer time moves forward by the gap, a doubled
// one means the earlier instant). Fields the pattern lacks default to 1970-01-01 00:00:00.
//
// Formatting an instant outside 0001-01-01...9999-12-31 (UTC) writes the nearer end of that range;
// NaN writes 1970-01-01 00:00:00 UTC. Parsing never gives a date outside that range.

#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Calendar.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/TimeZone.hpp"

namespace talvaren::platform {

class DateFormatter {
 public:
  enum class Style { none, full };

  /// No pattern, the current zone and the current locale, "AM" and "PM".
  DateFormatter();

  /// The pattern in use: the one set, or the locale's pattern of the date style.
  std::string dateFormat() const;
  /// Sets a fixed pattern; the date style goes back to none.
  void setDateFormat(std::string pattern);

  Style dateStyle() const { return dateStyle_; }
  /// Style full: the locale's long written date with weekday and no time ("Monday, December 7, 2026"
  /// in en_US). Known languages: en (en_GB day first), de, fr, es, it, pt, nl; others write en_US.
  void setDateStyle(Style style) { dateStyle_ = style; }

  const TimeZone& timeZone() const { return timeZone_; }
  void setTimeZone(TimeZone zone) { timeZone_ = std::move(zone); }

  const Locale& locale() const { return locale_; }
  void setLocale(Locale locale) { locale_ = std::move(locale); }

  const std::string& amSymbol() const { return amSymbol_; }
  void setAMSymbol(std::string symbol) { amSymbol_ = std::move(symbol); }
  const std::string& pmSymbol() const { return pmSymbol_; }
  void setPMSymbol(std::string symbol) { pmSymbol_ = std::move(symbol); }

  /// The text of `date` by the pattern, in the formatter's zone.
  std::string string(const Date& date) const;
  /// The instant a whole text stands for, or absent when the text does not match the pattern.
  std::optional<Date> date(std::string_view text) const;

 private:
  std::string pattern_;
  Style dateStyle_ = Style::none;
  TimeZone timeZone_;
  Locale locale_;
  std::string amSymbol_ = "AM";
  std::string pmSymbol_ = "PM";
};

}  // namespace talvaren::platform

namespace talvaren {
using platform::DateFormatter;
}
