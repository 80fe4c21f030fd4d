// Feeds arbitrary texts to the date formatter's whole-text parser under the kit's patterns and
// arbitrary instants and components to the calendar; every parsed date must write back to a text
// that parses to the same instant, and nothing may leave the known range of instants.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "talvaren/platform/Calendar.hpp"
#include "talvaren/platform/DateFormatter.hpp"

namespace {

using namespace talvaren;

constexpr double kEarliest = -62135596800.0;
constexpr double kLatest = 253402300800.0;

void checkInRange(const Date& date) {
  double s = date.timeIntervalSince1970();
  if (!(s >= kEarliest && s < kLatest)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char* const patterns[] = {"yyyy-MM-dd'T'HH:mm:ss.SSSSSSZ", "yyyy-MM-dd'T'HH:mm:ssZ", "yyyy-MM-dd",
                                         "yyyy-MM-dd HH:mm:ss", "MM-dd-yyyy h:mm a", "yyyyMMddHHmmss", "dd.MM.yy"};
  static const char* const zones[] = {"GMT", "Europe/Berlin", "America/New_York", "America/Havana"};
  if (size == 0) return 0;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::uint8_t choice = data[0];

  DateFormatter formatter;
  formatter.setTimeZone(TimeZone::named(zones[choice % 4]).value_or(TimeZone::gmt()));
  if (choice / 4 % 8 == 7) {
    formatter.setDateStyle(DateFormatter::Style::full);
    formatter.setLocale(Locale(choice & 0x80 ? "de_DE" : "en_US"));
  } else {
    formatter.setDateFormat(patterns[choice / 4 % 8]);
  }
  if (auto parsed = formatter.date(text)) {
    checkInRange(*parsed);
    // Texts with an offset or a full fraction name one instant; they must come back unchanged.
    if (choice / 4 % 8 <= 1) {
      auto again = formatter.date(formatter.string(*parsed));
      double s = parsed->timeIntervalSince1970();
      // Far from 1970 a double holds fewer fraction digits than a microsecond needs.
      if (!again || std::fabs(again->timeIntervalSince1970() - s) > 1e-6 + std::fabs(s) * 4e-16) std::abort();
    }
  }

  // The same bytes as an instant and as components for the calendar.
  if (size >= 1 + sizeof(double) + sizeof(std::int64_t)) {
    double seconds = 0;
    std::int64_t amount = 0;
    std::memcpy(&seconds, data + 1, sizeof seconds);
    std::memcpy(&amount, data + 1 + sizeof seconds, sizeof amount);
    Calendar calendar(formatter.timeZone());
    Date date(seconds);
    (void)formatter.string(date);
    (void)calendar.startOfDay(date);
    (void)calendar.dateComponents({CalendarComponent::year, CalendarComponent::weekday}, date);
    auto unit = static_cast<CalendarComponent>(choice % 9);
    if (auto added = calendar.dateByAdding(unit, amount, date)) checkInRange(*added);
    DateComponents components;
    components.setValue(unit, amount);
    components.day = choice;
    if (auto built = calendar.dateFromComponents(components)) checkInRange(*built);
    (void)calendar.dateComponents({CalendarComponent::year, CalendarComponent::day, CalendarComponent::second},
                                  date, Date(seconds + static_cast<double>(amount)));
  }
  return 0;
}
