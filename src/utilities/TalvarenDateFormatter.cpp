#include "talvaren/utilities/TalvarenDateFormatter.hpp"

#include <string_view>

#include "talvaren/platform/Calendar.hpp"
#include "talvaren/platform/DateFormatter.hpp"
#include "talvaren/platform/TimeZone.hpp"

namespace talvaren {
namespace {

constexpr const char* shortDatePattern = "yyyy-MM-dd";
constexpr const char* longDatePattern = "yyyy-MM-dd'T'HH:mm:ss.SSSSSSZ";
constexpr const char* dateTimePattern = "yyyy-MM-dd HH:mm:ss";
constexpr const char* birthDatePattern = "MM-dd-yyyy";
constexpr const char* yearMonthPattern = "yyyy-MM";

TimeZone utcZone() { return TimeZone::abbreviation("UTC").value_or(TimeZone::gmt()); }

// A fresh formatter with a fixed pattern, in the device zone unless another is given.
DateFormatter formatter(const char* pattern, std::optional<TimeZone> zone = std::nullopt) {
  DateFormatter made;
  made.setDateFormat(pattern);
  if (zone) made.setTimeZone(*zone);
  return made;
}

DateFormatter amPmFormatter(const char* pattern) {
  DateFormatter made = formatter(pattern, utcZone());
  made.setAMSymbol("AM");
  made.setPMSymbol("PM");
  return made;
}

// The full date style in the current calendar's zone and locale.
DateFormatter fullStyleFormatter() {
  Calendar calendar = Calendar::current();
  DateFormatter made;
  made.setDateStyle(DateFormatter::Style::full);
  made.setTimeZone(calendar.timeZone());
  if (calendar.locale()) made.setLocale(*calendar.locale());
  return made;
}

// Upper case of UTF-8 text: ASCII letters and the Latin-1 letters that month and weekday names use.
std::string upperCased(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 'a' && byte <= 'z') {
      out += static_cast<char>(byte - 'a' + 'A');
    } else if (byte == 0xC3 && i + 1 < text.size()) {
      auto next = static_cast<unsigned char>(text[++i]);
      if (next == 0x9F) {  // ß
        out += "SS";
      } else if (next == 0xBF) {  // ÿ
        out += "\xC5\xB8";
      } else if (next >= 0xA0 && next <= 0xBE && next != 0xB7) {  // à ... þ, not ÷
        out += static_cast<char>(0xC3);
        out += static_cast<char>(next - 0x20);
      } else {
        out += static_cast<char>(0xC3);
        out += static_cast<char>(next);
      }
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace

std::shared_ptr<TalvarenDateFormatter> TalvarenDateFormatter::shared() {
  static const auto& instance = *new auto(std::make_shared<TalvarenDateFormatter>());
  return instance;
}

std::string TalvarenDateFormatter::getDateString(const Date& date) const {
  return upperCased(fullStyleFormatter().string(date));
}

Date TalvarenDateFormatter::getDateFromString(const std::string& string) const {
  return fullStyleFormatter().date(string).value_or(Date::now());
}

bool TalvarenDateFormatter::checkTheSomeDates(const Date& date, const Date& equalToDate) const {
  Calendar calendar = Calendar::current();
  bool sameDay = calendar.isDate(date, equalToDate, CalendarComponent::day);
  bool sameMonth = calendar.isDate(date, equalToDate, CalendarComponent::month);
  bool sameYear = calendar.isDate(date, equalToDate, CalendarComponent::year);
  return sameDay && sameMonth && sameYear;
}

Date TalvarenDateFormatter::getFirstDayOfTheMonth(const Date& fromDate) const {
  Calendar calendar = Calendar::current();
  DateComponents found = calendar.dateComponents({CalendarComponent::year, CalendarComponent::month}, fromDate);
  if (!found.year || !found.month) return fromDate;
  DateComponents first;
  first.year = found.year;
  first.month = found.month;
  return calendar.dateFromComponents(first).value_or(fromDate);
}

Date TalvarenDateFormatter::getLastDayOfTheMonth(const Date& fromDate) const {
  Date first = getFirstDayOfTheMonth(fromDate);
  DateComponents step;
  step.month = 1;
  step.day = -1;
  return Calendar::current().dateByAdding(step, first).value_or(fromDate);
}

std::optional<Date> TalvarenDateFormatter::getDateFromShortDateString(const std::string& string) const {
  return formatter(shortDatePattern).date(string);
}

std::optional<Date> TalvarenDateFormatter::getDateFromLongDateString(const std::string& string) const {
  return formatter(longDatePattern).date(string);
}

std::string TalvarenDateFormatter::getShortStringFromDate(const Date& date) const {
  return formatter(shortDatePattern).string(date);
}

std::string TalvarenDateFormatter::getDateFormatTimeAMPM(const Date& date) const {
  return amPmFormatter("MM-dd-yyyy h:mm a").string(date);
}

std::string TalvarenDateFormatter::getTimeAMPM(const Date& date) const {
  return amPmFormatter("h:mm a").string(date);
}

std::string TalvarenDateFormatter::getShortStringFromDateUTC(const Date& date) const {
  return formatter(shortDatePattern, utcZone()).string(date);
}

std::string TalvarenDateFormatter::getShortDateStringFromDateTimeUTC(const std::string& string) const {
  Date date = formatter(dateTimePattern, utcZone()).date(string).value_or(Date::now());
  return TalvarenDateFormatter::getShortStringFromDate(date);
}

std::string TalvarenDateFormatter::getShortStringFromDateTimeUTC(const Date& date) const {
  return formatter(dateTimePattern, utcZone()).string(date);
}

std::string TalvarenDateFormatter::getLongStringFromDate(const Date& date) const {
  return formatter(longDatePattern).string(date);
}

std::string TalvarenDateFormatter::getChartDateFormatFrom(const std::string& string) const {
  auto date = getDateFromShortDateString(string);
  if (!date) return "**";
  return formatter("MM/dd").string(*date);
}

std::string TalvarenDateFormatter::getShortDateStringFromFullDateString(const std::string& string) const {
  return getShortStringFromDate(getDateFromString(string));
}

std::optional<Date> TalvarenDateFormatter::getCreatedDateFromString(const std::string& string) const {
  return formatter(longDatePattern, utcZone()).date(string);
}

std::optional<Date> TalvarenDateFormatter::getCreatedDateFromStringWrapped(const std::string& string) const {
  if (auto date = getCreatedDateFromString(string)) return date;
  return formatter("yyyy-MM-dd'T'HH:mm:ssZ", utcZone()).date(string);
}

std::string TalvarenDateFormatter::getCreatedStringFromDate(const Date& date) const {
  return formatter(longDatePattern, utcZone()).string(date);
}

std::optional<Date> TalvarenDateFormatter::getDateFromVisibleBirthDateString(const std::string& string) const {
  return formatter(birthDatePattern).date(string);
}

std::string TalvarenDateFormatter::getVisibleBirthStringFromDate(const Date& date) const {
  return formatter(birthDatePattern).string(date);
}

std::string TalvarenDateFormatter::getYearMonthFromString(const std::string& string) const {
  auto date = getDateFromShortDateString(string);
  if (!date) return "";
  return formatter(yearMonthPattern).string(*date);
}

std::string TalvarenDateFormatter::getYearMonthFromDate(const Date& date) const {
  return formatter(yearMonthPattern).string(date);
}

}  // namespace talvaren
