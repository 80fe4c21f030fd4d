// Sleep summaries: their endpoint, day request and fold into SleepSDK records.

#include <algorithm>

#include "importers/GarminConnector.hpp"
#include "importers/GarminDayText.hpp"
#include "importers/GarminManager.hpp"
#include "importers/RoomForMore.hpp"

namespace talvaren {

void GarminConnector::getSleepByDay(const Date& startDate, Completion completion) {
  performAPICall(HTTPMethod::GET, detail::garminDayURL(garminSleepEndpoint(), startDate), std::nullopt,
                 platform::http::JSONEncoding::defaultEncoding(), false, std::move(completion));
}

void GarminConnector::addSleeps(const std::vector<GarminSleep>& sleeps) {
  detail::roomForMore(sleepData, sleeps.size());
  detail::roomForMore(sleepIndex_, sleeps.size());
  for (std::size_t i = 0; i < sleeps.size(); ++i) {
    sleepIndex_.prefetchAhead(sleeps, i);
    const auto& sleep = sleeps[i];
    const auto day = detail::garminDayText(sleep.calendarDate, sleep.startTimeInSeconds, sleep.startTimeOffsetInSeconds,
                                           sleep.durationInSeconds);
    if (!day) continue;
    auto& record = getRecoveryByDate(*day);
    const bool anotherSleep =
        record.value && record.startTimeInSeconds && record.startTimeInSeconds != sleep.startTimeInSeconds;
    if (!anotherSleep) {
      record.value = sleep.durationInSeconds;
    } else if (sleep.durationInSeconds) {
      // Another sleep of the same day: the longer one counts. One without a duration changes nothing.
      record.value = std::max(*record.value, *sleep.durationInSeconds);
    }
    record.percentage = 0;
    record.externalId = *day;
    record.externalProvider = std::string(GarminProviderName);
    record.startTimeInSeconds = sleep.startTimeInSeconds;
  }
}

}  // namespace talvaren
