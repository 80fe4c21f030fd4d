#include "talvaren/platform/Calendar.hpp"

#include <array>

#include <date/date.h>

#include "platform/CalendarDetail.hpp"

namespace talvaren::platform {
namespace detail {

bool isLeapYear(std::int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

std::int64_t daysInMonth(std::int64_t year, std::int64_t month) {
  static constexpr std::array<std::int64_t, 12> lengths{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && isLeapYear(year)) return 29;
  return lengths[static_cast<std::size_t>(month - 1)];
}

std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  date::year_month_day ymd{date::year{static_cast<int>(year)}, date::month{static_cast<unsigned>(month)},
                           date::day{static_cast<unsigned>(day)}};
  return date::sys_days{ymd}.time_since_epoch().count();
}

std::optional<std::int64_t> daysFromYearMonth(std::int64_t year, std::int64_t month) {
  if (year < -kYearLimit || year > kYearLimit || month < -kYearLimit * 12 || month > kYearLimit * 12) {
    return std::nullopt;
  }
  std::int64_t carried = year + floorDiv(month - 1, 12);
  if (carried < -kYearLimit || carried > kYearLimit) return std::nullopt;
  return daysFromCivil(carried, floorMod(month - 1, 12) + 1, 1);
}

LocalTime localTime(const ZoneData& zone, const Instant& instant) {
  LocalTime local;
  local.offset = zone.offsetAt(instant.second);
  local.localSecond = instant.second + local.offset;
  local.days = floorDiv(local.localSecond, 86400);
  std::int64_t secondOfDay = local.localSecond - local.days * 86400;
  date::year_month_day ymd{date::sys_days{date::days{static_cast<int>(local.days)}}};
  local.year = static_cast<int>(ymd.year());
  local.month = static_cast<unsigned>(ymd.month());
  local.day = static_cast<unsigned>(ymd.day());
  local.hour = secondOfDay / 3600;
  local.minute = secondOfDay / 60 % 60;
  local.second = secondOfDay % 60;
  local.micro = instant.micro;
  // 1970-01-01 was a Thursday, weekday 5.
  local.weekday = floorMod(local.days + 4, 7) + 1;
  return local;
}

}  // namespace detail

namespace {

using detail::floorDiv;
using detail::Instant;
using detail::LocalTime;

constexpr std::int64_t kMicrosPerSecond = 1000000;
/// Larger magnitudes cannot give a result in the known range; refusing them keeps the arithmetic
/// below far from overflow.
constexpr std::int64_t kComponentLimit = 1000000000000;

bool withinLimit(const std::optional<std::int64_t>& value) {
  return !value || (*value >= -kComponentLimit && *value <= kComponentLimit);
}

bool allWithinLimit(const DateComponents& c) {
  return withinLimit(c.era) && withinLimit(c.year) && withinLimit(c.month) && withinLimit(c.day) &&
         withinLimit(c.hour) && withinLimit(c.minute) && withinLimit(c.second) && withinLimit(c.nanosecond);
}

std::optional<Instant> instantOf(const Date& date) { return detail::splitInstant(date.timeIntervalSince1970()); }

/// An instant from whole seconds and a microsecond count that may exceed one second either way.
std::optional<Instant> normalised(std::int64_t second, std::int64_t micro) {
  Instant instant{second + floorDiv(micro, kMicrosPerSecond), detail::floorMod(micro, kMicrosPerSecond)};
  if (!detail::inRange(instant.second)) return std::nullopt;
  return instant;
}

Date dateOf(const Instant& instant) { return Date(detail::joinInstant(instant.second, instant.micro)); }

bool before(const Instant& a, const Instant& b) {
  return a.second < b.second || (a.second == b.second && a.micro < b.micro);
}

/// Local readings far outside the known range are refused before they reach the zone database.
bool localInReach(std::int64_t localSecond) {
  constexpr std::int64_t margin = 3 * 86400;
  return localSecond >= detail::kEarliestSecond - margin && localSecond <= detail::kLatestSecond + margin;
}

std::int64_t yearOfEra(std::int64_t year) { return year > 0 ? year : 1 - year; }

/// The start of the era (0001-01-01 00:00 local) in whole seconds.
std::int64_t eraStart(const detail::ZoneData& zone) {
  return zone.firstInstantFrom(detail::daysFromCivil(1, 1, 1) * 86400);
}

std::optional<Instant> add(const detail::ZoneData& zone, const Instant& start, const DateComponents& c) {
  if (!allWithinLimit(c)) return std::nullopt;
  std::int64_t years = c.year.value_or(0);
  std::int64_t months = c.month.value_or(0);
  std::int64_t days = c.day.value_or(0);
  std::int64_t second = start.second;
  if (years != 0 || months != 0 || days != 0) {
    LocalTime local = detail::localTime(zone, start);
    if (years < -2 * detail::kYearLimit || years > 2 * detail::kYearLimit) return std::nullopt;
    auto firstOfMonth = detail::daysFromYearMonth(local.year + years, local.month + months);
    if (!firstOfMonth) return std::nullopt;
    date::year_month_day target{date::sys_days{date::days{static_cast<int>(*firstOfMonth)}}};
    std::int64_t length =
        detail::daysInMonth(static_cast<int>(target.year()), static_cast<unsigned>(target.month()));
    std::int64_t dayCount = *firstOfMonth + (local.day < length ? local.day : length) - 1 + days;
    std::int64_t localSecond = dayCount * 86400 + (local.localSecond - local.days * 86400);
    if (!localInReach(localSecond)) return std::nullopt;
    second = zone.instantOf(localSecond);
  }
  std::int64_t elapsed = c.hour.value_or(0) * 3600 + c.minute.value_or(0) * 60 + c.second.value_or(0);
  return normalised(second + elapsed, start.micro + c.nanosecond.value_or(0) / 1000);
}

/// The whole-second start and length of the local hour, minute or second holding an instant.
std::pair<std::int64_t, std::int64_t> clockUnitSpan(const detail::ZoneData& zone,
                                                   const Instant& instant, CalendarComponent unit) {
  std::int64_t length = unit == CalendarComponent::hour ? 3600 : unit == CalendarComponent::minute ? 60 : 1;
  std::int64_t local = instant.second + zone.offsetAt(instant.second);
  return std::make_pair(instant.second - detail::floorMod(local, length), length);
}

}  // namespace

std::optional<std::int64_t> DateComponents::value(CalendarComponent component) const {
  switch (component) {
    case CalendarComponent::era: return era;
    case CalendarComponent::year: return year;
    case CalendarComponent::month: return month;
    case CalendarComponent::day: return day;
    case CalendarComponent::hour: return hour;
    case CalendarComponent::minute: return minute;
    case CalendarComponent::second: return second;
    case CalendarComponent::weekday: return weekday;
    case CalendarComponent::nanosecond: return nanosecond;
  }
  return std::nullopt;
}

void DateComponents::setValue(CalendarComponent component, std::optional<std::int64_t> newValue) {
  switch (component) {
    case CalendarComponent::era: era = newValue; break;
    case CalendarComponent::year: year = newValue; break;
    case CalendarComponent::month: month = newValue; break;
    case CalendarComponent::day: day = newValue; break;
    case CalendarComponent::hour: hour = newValue; break;
    case CalendarComponent::minute: minute = newValue; break;
    case CalendarComponent::second: second = newValue; break;
    case CalendarComponent::weekday: weekday = newValue; break;
    case CalendarComponent::nanosecond: nanosecond = newValue; break;
  }
}

Calendar::Calendar(TimeZone timeZone, std::optional<Locale> locale)
    : timeZone_(std::move(timeZone)), locale_(std::move(locale)) {}

Calendar Calendar::current() { return Calendar(TimeZone::current(), Locale::current()); }

Date Calendar::startOfDay(const Date& date) const {
  auto instant = instantOf(date);
  if (!instant) return date;
  LocalTime local = detail::localTime(timeZone_.data(), *instant);
  return Date(static_cast<double>(timeZone_.data().firstInstantFrom(local.days * 86400)));
}

DateComponents Calendar::dateComponents(const std::vector<Component>& components, const Date& date) const {
  DateComponents result;
  auto instant = instantOf(date);
  if (!instant) return result;
  LocalTime local = detail::localTime(timeZone_.data(), *instant);
  for (Component component : components) {
    switch (component) {
      case Component::era: result.era = local.year > 0 ? 1 : 0; break;
      case Component::year: result.year = yearOfEra(local.year); break;
      case Component::month: result.month = local.month; break;
      case Component::day: result.day = local.day; break;
      case Component::hour: result.hour = local.hour; break;
      case Component::minute: result.minute = local.minute; break;
      case Component::second: result.second = local.second; break;
      case Component::weekday: result.weekday = local.weekday; break;
      case Component::nanosecond: result.nanosecond = local.micro * 1000; break;
    }
  }
  return result;
}

std::optional<std::int64_t> Calendar::component(Component component, const Date& date) const {
  return dateComponents({component}, date).value(component);
}

DateComponents Calendar::dateComponents(const std::vector<Component>& components, const Date& start,
                                        const Date& end) const {
  DateComponents result;
  auto from = instantOf(start);
  auto to = instantOf(end);
  if (!from || !to) return result;
  auto wants = [&](Component c) {
    for (Component wanted : components) {
      if (wanted == c) return true;
    }
    return false;
  };
  const auto& zone = timeZone_.data();
  bool forward = !before(*to, *from);
  DateComponents taken;  // the calendar units found so far, added to `from` together
  for (Component unit : {Component::year, Component::month, Component::day}) {
    if (!wants(unit)) continue;
    // Whether adding `n` of the unit (on top of what is taken) passes `to`.
    auto passes = [&](std::int64_t n) {
      DateComponents trial = taken;
      trial.setValue(unit, n);
      auto reached = add(zone, *from, trial);
      if (!reached) return true;
      return forward ? before(*to, *reached) : before(*reached, *to);
    };
    auto cursor = add(zone, *from, taken);
    if (!cursor) break;
    LocalTime a = detail::localTime(zone, *cursor);
    LocalTime b = detail::localTime(zone, *to);
    std::int64_t n = unit == Component::year    ? b.year - a.year
                     : unit == Component::month ? (b.year - a.year) * 12 + b.month - a.month
                                                : b.days - a.days;
    std::int64_t step = forward ? 1 : -1;
    while (n != 0 && passes(n)) n -= step;
    while (!passes(n + step)) n += step;
    taken.setValue(unit, n);
    result.setValue(unit, n);
  }
  auto reached = add(zone, *from, taken);
  if (!reached) return result;
  std::int64_t remaining =
      (to->second - reached->second) * kMicrosPerSecond + (to->micro - reached->micro);
  for (auto [unit, size] : {std::pair{Component::hour, 3600 * kMicrosPerSecond},
                            std::pair{Component::minute, 60 * kMicrosPerSecond},
                            std::pair{Component::second, kMicrosPerSecond}}) {
    if (!wants(unit)) continue;
    result.setValue(unit, remaining / size);
    remaining %= size;
  }
  if (wants(Component::nanosecond)) result.nanosecond = remaining * 1000;
  return result;
}

std::optional<Date> Calendar::dateFromComponents(const DateComponents& c) const {
  if (!allWithinLimit(c)) return std::nullopt;
  std::int64_t year = c.year.value_or(1);
  if (c.era.value_or(1) == 0) year = 1 - year;
  auto firstOfMonth = detail::daysFromYearMonth(year, c.month.value_or(1));
  if (!firstOfMonth) return std::nullopt;
  std::int64_t days = *firstOfMonth + c.day.value_or(1) - 1;
  std::int64_t localSecond = days * 86400 + c.hour.value_or(0) * 3600 + c.minute.value_or(0) * 60 +
                             c.second.value_or(0);
  if (!localInReach(localSecond)) return std::nullopt;
  std::int64_t second = timeZone_.data().instantOf(localSecond);
  auto instant = normalised(second, c.nanosecond.value_or(0) / 1000);
  if (!instant) return std::nullopt;
  return dateOf(*instant);
}

std::optional<Date> Calendar::dateByAdding(const DateComponents& components, const Date& date) const {
  auto start = instantOf(date);
  if (!start) return std::nullopt;
  auto result = add(timeZone_.data(), *start, components);
  if (!result) return std::nullopt;
  return dateOf(*result);
}

std::optional<Date> Calendar::dateByAdding(Component component, std::int64_t value, const Date& date) const {
  DateComponents components;
  components.setValue(component, value);
  return dateByAdding(components, date);
}

std::partial_ordering Calendar::compare(const Date& a, const Date& b, Component granularity) const {
  auto x = instantOf(a);
  auto y = instantOf(b);
  if (!x || !y) return std::partial_ordering::unordered;
  const auto& zone = timeZone_.data();
  switch (granularity) {
    case Component::era:
    case Component::year:
    case Component::month:
    case Component::day:
    case Component::weekday: {
      LocalTime p = detail::localTime(zone, *x);
      LocalTime q = detail::localTime(zone, *y);
      if (granularity == Component::era) return (p.year > 0) <=> (q.year > 0);
      if (p.year != q.year || granularity == Component::year) return p.year <=> q.year;
      if (p.month != q.month || granularity == Component::month) return p.month <=> q.month;
      return p.day <=> q.day;
    }
    case Component::hour:
    case Component::minute:
    case Component::second:
      return clockUnitSpan(zone, *x, granularity).first <=> clockUnitSpan(zone, *y, granularity).first;
    case Component::nanosecond:
      if (x->second != y->second) return x->second <=> y->second;
      return x->micro <=> y->micro;
  }
  return std::partial_ordering::unordered;
}

std::optional<std::int64_t> Calendar::ordinality(Component smaller, Component larger, const Date& date) const {
  auto instant = instantOf(date);
  if (!instant) return std::nullopt;
  const auto& zone = timeZone_.data();
  LocalTime local = detail::localTime(zone, *instant);
  if (larger == Component::era) {
    if (local.year < 1) return std::nullopt;
    switch (smaller) {
      case Component::year: return local.year;
      case Component::month: return (local.year - 1) * 12 + local.month;
      case Component::day: return local.days - detail::daysFromCivil(1, 1, 1) + 1;
      case Component::hour: return floorDiv(instant->second - eraStart(zone), 3600) + 1;
      case Component::minute: return floorDiv(instant->second - eraStart(zone), 60) + 1;
      case Component::second: return instant->second - eraStart(zone) + 1;
      default: return std::nullopt;
    }
  }
  if (smaller == Component::day && larger == Component::month) return local.day;
  if (smaller == Component::day && larger == Component::year) {
    return local.days - detail::daysFromCivil(local.year, 1, 1) + 1;
  }
  if (smaller == Component::month && larger == Component::year) return local.month;
  if (smaller == Component::hour && larger == Component::day) return local.hour + 1;
  if (smaller == Component::minute && larger == Component::hour) return local.minute + 1;
  if (smaller == Component::second && larger == Component::minute) return local.second + 1;
  return std::nullopt;
}

std::optional<CalendarRange> Calendar::range(Component smaller, Component larger, const Date& date) const {
  auto instant = instantOf(date);
  if (!instant) return std::nullopt;
  LocalTime local = detail::localTime(timeZone_.data(), *instant);
  if (smaller == Component::day && larger == Component::month) {
    return CalendarRange{1, detail::daysInMonth(local.year, local.month) + 1};
  }
  if (smaller == Component::day && larger == Component::year) {
    return CalendarRange{1, detail::isLeapYear(local.year) ? 367 : 366};
  }
  if (smaller == Component::month && larger == Component::year) return CalendarRange{1, 13};
  if (smaller == Component::hour && larger == Component::day) return CalendarRange{0, 24};
  if (smaller == Component::minute && larger == Component::hour) return CalendarRange{0, 60};
  if (smaller == Component::second && larger == Component::minute) return CalendarRange{0, 60};
  if (smaller == Component::nanosecond && larger == Component::second) return CalendarRange{0, 1000000000};
  return std::nullopt;
}

std::optional<DateInterval> Calendar::dateInterval(Component component, const Date& date) const {
  auto instant = instantOf(date);
  if (!instant) return std::nullopt;
  const auto& zone = timeZone_.data();
  LocalTime local = detail::localTime(zone, *instant);
  std::int64_t firstDay = 0;
  std::int64_t nextDay = 0;
  switch (component) {
    case Component::year:
      firstDay = detail::daysFromCivil(local.year, 1, 1);
      nextDay = detail::daysFromCivil(local.year + 1, 1, 1);
      break;
    case Component::month:
      firstDay = *detail::daysFromYearMonth(local.year, local.month);
      nextDay = *detail::daysFromYearMonth(local.year, local.month + 1);
      break;
    case Component::day:
    case Component::weekday:
      firstDay = local.days;
      nextDay = local.days + 1;
      break;
    case Component::hour:
    case Component::minute:
    case Component::second: {
      auto [start, length] = clockUnitSpan(zone, *instant, component);
      return DateInterval{Date(static_cast<double>(start)), static_cast<double>(length)};
    }
    default:
      return std::nullopt;
  }
  std::int64_t start = zone.firstInstantFrom(firstDay * 86400);
  std::int64_t end = zone.firstInstantFrom(nextDay * 86400);
  return DateInterval{Date(static_cast<double>(start)), static_cast<double>(end - start)};
}

}  // namespace talvaren::platform
