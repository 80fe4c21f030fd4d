#include "talvaren/platform/TimeZone.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include <date/tz.h>

#include "platform/TimeZoneDetail.hpp"

namespace talvaren::platform {
namespace detail {

namespace {

date::sys_seconds sysSeconds(std::int64_t second) { return date::sys_seconds{std::chrono::seconds{second}}; }

}  // namespace

date::sys_info ZoneData::sysInfo(std::int64_t second) const {
  std::int64_t shift = shiftIntoListedYears(second);
  auto info = zone->get_info(sysSeconds(second - shift));
  info.begin += std::chrono::seconds{shift};
  info.end += std::chrono::seconds{shift};
  return info;
}

date::local_info ZoneData::localInfo(std::int64_t localSecond) const {
  std::int64_t shift = shiftIntoListedYears(localSecond);
  auto info = zone->get_info(date::local_seconds{std::chrono::seconds{localSecond - shift}});
  for (auto* period : {&info.first, &info.second}) {
    period->begin += std::chrono::seconds{shift};
    period->end += std::chrono::seconds{shift};
  }
  return info;
}

std::int64_t ZoneData::shiftIntoListedYears(std::int64_t second) const {
  if (second < repeatsFrom) return 0;
  // A year's changes of summer time fall on the same dates in every year that starts on the same
  // weekday and has the same length; the last 28 listed years hold every such shape.
  date::year year = date::year_month_day{date::floor<date::days>(sysSeconds(second))}.year();
  auto shape = [](date::year y) {
    return std::pair{date::weekday{date::sys_days{y / date::January / 1}}.c_encoding(), y.is_leap()};
  };
  auto wanted = shape(year);
  for (int y = static_cast<int>(lastListedYear); y > lastListedYear - 28; --y) {
    if (shape(date::year{y}) == wanted) {
      auto from = date::sys_days{year / date::January / 1} - date::sys_days{date::year{y} / date::January / 1};
      return static_cast<std::int64_t>(from.count()) * 86400;
    }
  }
  return 0;
}

std::int64_t ZoneData::offsetAt(std::int64_t second) const {
  if (!zone) return fixedOffset;
  return sysInfo(second).offset.count();
}

std::string ZoneData::abbreviationAt(std::int64_t second) const {
  if (!zone) return identifier;
  return sysInfo(second).abbrev;
}

bool ZoneData::isDaylightSavingTimeAt(std::int64_t second) const {
  if (!zone) return false;
  return sysInfo(second).save != std::chrono::minutes{0};
}

std::int64_t ZoneData::instantOf(std::int64_t localSecond) const {
  if (!zone) return localSecond - fixedOffset;
  // `first` is the period in force before any change at this reading: subtracting its offset moves a
  // skipped reading forward by the gap and picks the earlier of two doubled ones.
  auto info = localInfo(localSecond);
  return localSecond - info.first.offset.count();
}

std::int64_t ZoneData::firstInstantFrom(std::int64_t localSecond) const {
  if (!zone) return localSecond - fixedOffset;
  auto info = localInfo(localSecond);
  if (info.result == date::local_info::nonexistent) return info.second.begin.time_since_epoch().count();
  return localSecond - info.first.offset.count();
}

bool inRange(std::int64_t second) { return second >= kEarliestSecond && second <= kLatestSecond; }

std::optional<Instant> splitInstant(double seconds) {
  if (!std::isfinite(seconds)) return std::nullopt;
  // A margin keeps the multiplication far from the limits of the integer; the exact check follows.
  if (seconds < static_cast<double>(kEarliestSecond) - 1 || seconds > static_cast<double>(kLatestSecond) + 1) {
    return std::nullopt;
  }
  auto micros = std::llround(seconds * 1e6);
  Instant instant;
  instant.second = micros / 1000000;
  instant.micro = micros % 1000000;
  if (instant.micro < 0) {
    instant.micro += 1000000;
    instant.second -= 1;
  }
  if (!inRange(instant.second)) return std::nullopt;
  return instant;
}

Instant clampInstant(double seconds) {
  if (std::isnan(seconds)) return Instant{};
  if (auto instant = splitInstant(seconds)) return *instant;
  return Instant{seconds < 0 ? kEarliestSecond : kLatestSecond, 0};
}

double joinInstant(std::int64_t second, std::int64_t micro) {
  return static_cast<double>(second) + static_cast<double>(micro) / 1e6;
}

}  // namespace detail

namespace {

using detail::ZoneData;

constexpr std::int64_t kLargestOffset = 18 * 3600;
/// The system's tz files list changes of summer time up to 2037 and leave later years to a rule.
constexpr date::year kFinalListedYear{2037};

std::shared_ptr<const ZoneData> fixedZone(std::string identifier, std::int64_t offset) {
  auto data = std::make_shared<ZoneData>();
  data->identifier = std::move(identifier);
  data->fixedOffset = offset;
  return data;
}

std::shared_ptr<const ZoneData> databaseZone(std::string_view name) {
  if (name.empty()) return nullptr;
  try {
    const date::time_zone* zone = date::locate_zone(name);
    if (!zone) return nullptr;
    auto data = std::make_shared<ZoneData>();
    data->identifier = std::string(name);
    data->zone = zone;
    // The database's last listed change; when it falls in the database's final listed year the
    // zone still changes its clocks every year and later years repeat the listed ones.
    auto last = zone->get_info(date::sys_seconds{std::chrono::seconds{detail::kLatestSecond}});
    date::year lastYear = date::year_month_day{date::floor<date::days>(last.begin)}.year();
    if (lastYear >= kFinalListedYear) {
      data->lastListedYear = static_cast<int>(lastYear);
      data->repeatsFrom = date::sys_days{(lastYear + date::years{1}) / date::January / 1}.time_since_epoch().count() *
                          std::int64_t{86400};
    }
    return data;
  } catch (...) {
    // Unknown name, or no readable tz database on this machine.
    return nullptr;
  }
}

std::string gmtIdentifier(std::int64_t offset) {
  if (offset == 0) return "GMT";
  auto magnitude = offset < 0 ? -offset : offset;
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "GMT%c%02lld%02lld", offset < 0 ? '-' : '+',
                static_cast<long long>(magnitude / 3600), static_cast<long long>(magnitude / 60 % 60));
  return buffer;
}

bool allDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return !text.empty();
}

int digitsValue(std::string_view text) {
  int value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value;
}

/// "GMT+2", "GMT+02", "GMT+0200", "GMT+02:00" (and "-"): a fixed offset, or absent.
std::optional<std::int64_t> parseGmtOffset(std::string_view name) {
  if (name.size() < 5 || name.substr(0, 3) != "GMT" || (name[3] != '+' && name[3] != '-')) return std::nullopt;
  int sign = name[3] == '-' ? -1 : 1;
  std::string_view rest = name.substr(4);
  std::string_view hours = rest;
  std::string_view minutes;
  if (auto colon = rest.find(':'); colon != std::string_view::npos) {
    hours = rest.substr(0, colon);
    minutes = rest.substr(colon + 1);
    if (minutes.size() != 2) return std::nullopt;
  } else if (rest.size() == 4) {
    hours = rest.substr(0, 2);
    minutes = rest.substr(2);
  }
  if (hours.empty() || hours.size() > 2 || !allDigits(hours)) return std::nullopt;
  if (!minutes.empty() && !allDigits(minutes)) return std::nullopt;
  int h = digitsValue(hours);
  int m = minutes.empty() ? 0 : digitsValue(minutes);
  if (m > 59) return std::nullopt;
  return sign * (static_cast<std::int64_t>(h) * 3600 + m * 60);
}

std::shared_ptr<const ZoneData> lookup(std::string_view name) {
  if (auto offset = parseGmtOffset(name)) {
    if (*offset < -kLargestOffset || *offset > kLargestOffset) return nullptr;
    return fixedZone(std::string(name), *offset);
  }
  if (auto data = databaseZone(name)) return data;
  // The zero zones exist even without a tz database.
  if (name == "UTC" || name == "GMT") return fixedZone(std::string(name), 0);
  return nullptr;
}

std::shared_ptr<const ZoneData> systemDefaultZone() {
  // Reading (never writing) the environment: $TZ as an IANA name, optionally ":name" or a path into
  // the zoneinfo folder.
  if (const char* tz = std::getenv("TZ"); tz && *tz) {
    std::string_view name = tz;
    if (name.front() == ':') name.remove_prefix(1);
    if (auto at = name.find("zoneinfo/"); at != std::string_view::npos) name.remove_prefix(at + 9);
    if (auto data = databaseZone(name)) return data;
  }
  try {
    if (const date::time_zone* zone = date::current_zone()) {
      if (auto data = databaseZone(zone->name())) return data;
    }
  } catch (...) {
    // No /etc/localtime or no database: fall through to UTC.
  }
  return lookup("UTC");
}

struct CurrentZoneState {
  std::mutex mutex;
  std::shared_ptr<const ZoneData> chosen;
  std::shared_ptr<const ZoneData> system;
};

CurrentZoneState& currentZoneState() {
  static auto& state = *new CurrentZoneState();
  return state;
}

}  // namespace

std::optional<TimeZone> TimeZone::named(std::string_view identifier) {
  if (auto data = lookup(identifier)) return TimeZone(std::move(data));
  return std::nullopt;
}

std::optional<TimeZone> TimeZone::abbreviation(std::string_view abbreviation) {
  if (abbreviation == "UTC" || abbreviation == "GMT") return gmt();
  return std::nullopt;
}

std::optional<TimeZone> TimeZone::forSecondsFromGMT(std::int64_t seconds) {
  if (seconds < -kLargestOffset || seconds > kLargestOffset) return std::nullopt;
  return TimeZone(fixedZone(gmtIdentifier(seconds), seconds));
}

TimeZone TimeZone::gmt() {
  static const auto& data = *new auto(fixedZone("GMT", 0));
  return TimeZone(data);
}

TimeZone TimeZone::current() {
  auto& state = currentZoneState();
  {
    std::lock_guard lock(state.mutex);
    if (state.chosen) return TimeZone(state.chosen);
    if (state.system) return TimeZone(state.system);
  }
  // Looked up outside the lock: the first database access reads the whole zoneinfo index.
  auto system = systemDefaultZone();
  std::lock_guard lock(state.mutex);
  if (state.chosen) return TimeZone(state.chosen);
  if (!state.system) state.system = std::move(system);
  return TimeZone(state.system);
}

void TimeZone::setCurrent(const TimeZone& zone) {
  auto& state = currentZoneState();
  std::lock_guard lock(state.mutex);
  state.chosen = zone.data_;
}

bool TimeZone::setCurrent(std::string_view identifier) {
  auto zone = named(identifier);
  if (!zone) return false;
  setCurrent(*zone);
  return true;
}

void TimeZone::resetCurrent() {
  auto& state = currentZoneState();
  std::lock_guard lock(state.mutex);
  state.chosen.reset();
  state.system.reset();
}

const std::string& TimeZone::identifier() const { return data_->identifier; }

std::int64_t TimeZone::secondsFromGMT(const Date& date) const {
  return data_->offsetAt(detail::clampInstant(date.timeIntervalSince1970()).second);
}

std::string TimeZone::abbreviationAt(const Date& date) const {
  return data_->abbreviationAt(detail::clampInstant(date.timeIntervalSince1970()).second);
}

bool TimeZone::isDaylightSavingTime(const Date& date) const {
  return data_->isDaylightSavingTimeAt(detail::clampInstant(date.timeIntervalSince1970()).second);
}

}  // namespace talvaren::platform
