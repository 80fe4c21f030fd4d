// Daily summaries and activities: their endpoints, day requests and folds into ActivitySDK and
// CaloriesSDK records.

#include <algorithm>
#include <charconv>
#include <limits>

#include "importers/GarminConnector.hpp"
#include "importers/GarminDayText.hpp"
#include "importers/GarminManager.hpp"
#include "importers/RoomForMore.hpp"
#include "talvaren/utilities/DateExtensions.hpp"
#include "talvaren/utilities/UnitsConverter.hpp"

namespace talvaren {

namespace {

/// Metres as miles with two decimals, computed in single precision like the app's unit conversion.
std::string milesText(double meters) {
  // Beyond float's range the narrowing conversion is undefined: hold the distance at its bounds.
  constexpr double largest = std::numeric_limits<float>::max();
  const float miles = UnitsConverter::metersToMiles(static_cast<float>(std::clamp(meters, -largest, largest)));
  char text[64];
  const auto written = std::to_chars(text, text + sizeof text, static_cast<double>(miles), std::chars_format::fixed, 2);
  return written.ec == std::errc() ? std::string(text, written.ptr) : std::string("0.00");
}

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

}  // namespace

std::string detail::garminDayURL(const std::string& endpoint, const Date& date) {
  return endpoint + "?uploadStartTimeInSeconds=" + std::to_string(wholeSeconds(beginningOfTheDay(date))) +
         "&uploadEndTimeInSeconds=" + std::to_string(wholeSeconds(endOfTheDay(date)));
}

void GarminConnector::getActivityByDay(const Date& startDate, Completion completion) {
  performAPICall(HTTPMethod::GET, detail::garminDayURL(garminActivityEndpoint(), startDate), std::nullopt,
                 platform::http::JSONEncoding::defaultEncoding(), false, std::move(completion));
}

void GarminConnector::getCaloriesByDay(const Date& startDate, Completion completion) {
  performAPICall(HTTPMethod::GET, detail::garminDayURL(garminCaloriesEndpoint(), startDate), std::nullopt,
                 platform::http::JSONEncoding::defaultEncoding(), false, std::move(completion));
}

void GarminConnector::addDailies(const std::vector<GarminActivity>& dailies) {
  detail::roomForMore(activityData, dailies.size());
  detail::roomForMore(activityIndex_, dailies.size());
  for (std::size_t i = 0; i < dailies.size(); ++i) {
    activityIndex_.prefetchAhead(dailies, i);
    const auto& summary = dailies[i];
    const auto day =
        detail::garminDayText(summary.calendarDate, summary.startTimeInSeconds, summary.startTimeOffsetInSeconds);
    if (!day) continue;
    auto& record = getActivityByDate(*day);
    record.steps = summary.steps.value_or(0);
    record.miles = summary.distanceInMeters ? milesText(*summary.distanceInMeters) : std::string("0.00");
    record.externalId = *day;
    record.externalProvider = std::string(GarminProviderName);
  }
}

void GarminConnector::addActivities(const std::vector<GarminActivity>& activities) {
  detail::roomForMore(caloriesData, activities.size());
  detail::roomForMore(caloriesIndex_, activities.size());
  for (std::size_t i = 0; i < activities.size(); ++i) {
    caloriesIndex_.prefetchAhead(activities, i);
    const auto& activity = activities[i];
    if (!activity.activeKilocalories) continue;
    const auto day =
        detail::garminDayText(activity.calendarDate, activity.startTimeInSeconds, activity.startTimeOffsetInSeconds);
    if (!day) continue;
    auto& record = getCaloriesByDate(*day);
    record.value =
        record.value ? saturatingAdd(*record.value, *activity.activeKilocalories) : *activity.activeKilocalories;
    record.externalId = activity.summaryId;
    record.externalProvider = std::string(GarminProviderName);
  }
}

}  // namespace talvaren
