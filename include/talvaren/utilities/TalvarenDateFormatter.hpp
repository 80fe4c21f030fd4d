#pragma once
// Every conversion of the kit between a date and its text forms.
//
// Each operation builds a fresh platform formatter (pattern, zone, locale, AM/PM symbols) per call, so
// any thread may call any operation. The operations are virtual members: a subclass may override
// them, and an operation built on another one calls it through the object it was called on, so the
// override is used (the one exception, getShortDateStringFromDateTimeUTC, is noted below). The kit
// itself, and hosts that need no override, call them on the base formatter:
//
//   auto date = TalvarenDateFormatter::shared()->getCreatedDateFromString("2020-01-01T00:00:00.000000+0000");
//
// There are no static wrappers of the same names: a static member may not share its name and
// parameters with a member function, so shared() is the one way in for callers without a subclass.
//
// Zones: "UTC" is the zone of the abbreviation UTC; "device" the device's current zone; "calendar"
// the zone of the current calendar (the same zone, with the calendar's locale). Apart from
// getDateString and getDateFromString, no operation sets a locale: fixed patterns use the current one.

#include <memory>
#include <optional>
#include <string>

#include "talvaren/platform/Date.hpp"

namespace talvaren {

class TalvarenDateFormatter {
 public:
  TalvarenDateFormatter() = default;
  virtual ~TalvarenDateFormatter() = default;

  /// The base formatter, shared for the process.
  static std::shared_ptr<TalvarenDateFormatter> shared();

  /// The full date style (weekday, month name, day, year) in the calendar's zone and locale, upper case.
  virtual std::string getDateString(const Date& date) const;
  /// The date of a full-style text in the calendar's zone and locale; the current date when it fails.
  virtual Date getDateFromString(const std::string& string) const;
  /// True when the current calendar finds both dates in the same day, month and year.
  virtual bool checkTheSomeDates(const Date& date, const Date& equalToDate) const;
  /// Midnight starting the first day of the date's month (calendar zone); the input when impossible.
  virtual Date getFirstDayOfTheMonth(const Date& fromDate) const;
  /// Midnight starting the last day of the date's month: getFirstDayOfTheMonth plus one month and
  /// minus one day in one addition; the input when impossible.
  virtual Date getLastDayOfTheMonth(const Date& fromDate) const;

  /// "yyyy-MM-dd" in the device zone.
  virtual std::optional<Date> getDateFromShortDateString(const std::string& string) const;
  /// "yyyy-MM-dd'T'HH:mm:ss.SSSSSSZ" in the device zone.
  virtual std::optional<Date> getDateFromLongDateString(const std::string& string) const;
  /// "yyyy-MM-dd" in the device zone.
  virtual std::string getShortStringFromDate(const Date& date) const;
  /// "MM-dd-yyyy h:mm a" in UTC, with the symbols "AM" and "PM".
  virtual std::string getDateFormatTimeAMPM(const Date& date) const;
  /// "h:mm a" in UTC, with the symbols "AM" and "PM".
  virtual std::string getTimeAMPM(const Date& date) const;
  /// "yyyy-MM-dd" in UTC.
  virtual std::string getShortStringFromDateUTC(const Date& date) const;
  /// Parses "yyyy-MM-dd HH:mm:ss" in UTC (the current date when it fails) and writes the base class's
  /// getShortStringFromDate of it, never an override.
  virtual std::string getShortDateStringFromDateTimeUTC(const std::string& string) const;
  /// "yyyy-MM-dd HH:mm:ss" in UTC.
  virtual std::string getShortStringFromDateTimeUTC(const Date& date) const;
  /// "yyyy-MM-dd'T'HH:mm:ss.SSSSSSZ" in the device zone.
  virtual std::string getLongStringFromDate(const Date& date) const;
  /// getDateFromShortDateString, then "MM/dd" in the device zone; "**" when it fails.
  virtual std::string getChartDateFormatFrom(const std::string& string) const;
  /// getDateFromString, then getShortStringFromDate.
  virtual std::string getShortDateStringFromFullDateString(const std::string& string) const;
  /// The server's time stamp "yyyy-MM-dd'T'HH:mm:ss.SSSSSSZ" in UTC.
  virtual std::optional<Date> getCreatedDateFromString(const std::string& string) const;
  /// getCreatedDateFromString, else "yyyy-MM-dd'T'HH:mm:ssZ" in UTC.
  virtual std::optional<Date> getCreatedDateFromStringWrapped(const std::string& string) const;
  /// "yyyy-MM-dd'T'HH:mm:ss.SSSSSSZ" in UTC ("+0000").
  virtual std::string getCreatedStringFromDate(const Date& date) const;
  /// "MM-dd-yyyy" in the device zone.
  virtual std::optional<Date> getDateFromVisibleBirthDateString(const std::string& string) const;
  /// "MM-dd-yyyy" in the device zone.
  virtual std::string getVisibleBirthStringFromDate(const Date& date) const;
  /// getDateFromShortDateString, then "yyyy-MM" in the device zone; "" when it fails.
  virtual std::string getYearMonthFromString(const std::string& string) const;
  /// "yyyy-MM" in the device zone.
  virtual std::string getYearMonthFromDate(const Date& date) const;
};

}  // namespace talvaren
