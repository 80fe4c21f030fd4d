// Day records: activity, calories, sleep, HRV scores, tracking settings, the weekly score and straps.

#include "api/EndpointCalls.hpp"
#include "api/EndpointText.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"

namespace talvaren {

using platform::http::HTTPMethod;

namespace {

/// Replace and modify of a day record: a record whose uuid is present but empty is refused with
/// `refusal` too (the workout and recovery groups send an empty one unchanged).
template <class Record>
void change(Connector& connector, HTTPMethod method, std::string (*endpoint)(), const Record& record,
            std::string_view refusal, Connector::Completion completion) {
  if (record.uuid && record.uuid->empty()) return console::print(refusal);
  detail::sendRecord(connector, method, endpoint, record, true, refusal, std::move(completion));
}

}  // namespace

std::string Connector::activityEndpoint() { return talvaren::detail::endpointText<"activity/">(); }

std::string Connector::caloriesEndpoint() { return talvaren::detail::endpointText<"calories/">(); }

std::string Connector::sleepEndpoint() { return talvaren::detail::endpointText<"sleep/">(); }

std::string Connector::HRVScoreEndpoint() { return talvaren::detail::endpointText<"hrv-scores/">(); }

std::string Connector::trackingEndPoint() { return talvaren::detail::endpointText<"auth/me/tracking-settings/">(); }

std::string Connector::weeklyScoreEndPoint() { return talvaren::detail::endpointText<"weekly-score/">(); }

std::string Connector::devicesEndpoint() { return talvaren::detail::endpointText<"devices/">(); }

// MARK: Activity

void Connector::getManyActivities(Completion completion) {
  detail::callEndpointAt(*this, HTTPMethod::GET, &activityEndpoint, std::move(completion));
}

void Connector::getActivitie(const std::string& uuid, Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return detail::identifierPath(activityEndpoint(), uuid); }, std::move(completion));
}

void Connector::getMonthlyActivities(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                                     Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return activityEndpoint() + detail::dateRangeQuery(startDate, endDate, limit); },
      std::move(completion));
}

void Connector::postActivity(const ActivitySDK& activity, Completion completion) {
  detail::sendRecord(*this, HTTPMethod::POST, &activityEndpoint, activity, false,
                     "Failed to parse activity data to json!", std::move(completion));
}

void Connector::putActivity(const ActivitySDK& activity, Completion completion) {
  change(*this, HTTPMethod::PUT, &activityEndpoint, activity, "Failed to parse activity data to json!",
         std::move(completion));
}

void Connector::patchActivity(const ActivitySDK& activity, Completion completion) {
  change(*this, HTTPMethod::PATCH, &activityEndpoint, activity, "UUID missing or failed to parse activity to json",
         std::move(completion));
}

// MARK: Calories

void Connector::getManyCalories(Completion completion) {
  detail::callEndpointAt(*this, HTTPMethod::GET, &caloriesEndpoint, std::move(completion));
}

void Connector::getCalories(const std::string& uuid, Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return detail::identifierPath(caloriesEndpoint(), uuid); }, std::move(completion));
}

void Connector::getMonthlyCalories(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                                   Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return caloriesEndpoint() + detail::dateRangeQuery(startDate, endDate, limit); },
      std::move(completion));
}

void Connector::postCalories(const CaloriesSDK& calories, Completion completion) {
  detail::sendRecord(*this, HTTPMethod::POST, &caloriesEndpoint, calories, false,
                     "Failed to parse calories data to json!", std::move(completion));
}

void Connector::putCalories(const CaloriesSDK& calories, Completion completion) {
  change(*this, HTTPMethod::PUT, &caloriesEndpoint, calories, "UUID missing or failed to parse calories to json",
         std::move(completion));
}

void Connector::patchCalories(const CaloriesSDK& calories, Completion completion) {
  change(*this, HTTPMethod::PATCH, &caloriesEndpoint, calories, "UUID missing or failed to parse calories to json",
         std::move(completion));
}

// MARK: Sleep

void Connector::getManySleep(Completion completion) {
  detail::callEndpointAt(*this, HTTPMethod::GET, &sleepEndpoint, std::move(completion));
}

void Connector::getSleep(const std::string& uuid, Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return detail::identifierPath(sleepEndpoint(), uuid); }, std::move(completion));
}

void Connector::getMonthlySleep(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                                Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return sleepEndpoint() + detail::dateRangeQuery(startDate, endDate, limit); },
      std::move(completion));
}

void Connector::postSleep(const SleepSDK& sleep, Completion completion) {
  detail::sendRecord(*this, HTTPMethod::POST, &sleepEndpoint, sleep, false, "Failed to parse sleep data to json!",
                     std::move(completion));
}

void Connector::putSleep(const SleepSDK& sleep, Completion completion) {
  // Sent with POST, as the server has always received it.
  change(*this, HTTPMethod::POST, &sleepEndpoint, sleep, "Failed to parse sleep data to json!", std::move(completion));
}

// MARK: HRV scores

void Connector::getHRVScores(Completion completion) {
  detail::callEndpointAt(*this, HTTPMethod::GET, &HRVScoreEndpoint, std::move(completion));
}

void Connector::getMonthlyHRVScores(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                                    Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return HRVScoreEndpoint() + detail::dateRangeQuery(startDate, endDate, limit); },
      std::move(completion));
}

void Connector::postHRVScores(const HRVScore& score, Completion completion) {
  detail::sendRecord(*this, HTTPMethod::POST, &HRVScoreEndpoint, score, false, "Failed to parse HRVScore data to json!",
                     std::move(completion));
}

// MARK: Tracking settings

void Connector::getTracking(Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET,
      [] {
        auto url = trackingEndPoint();
        console::print(redact::url(url));
        return url;
      },
      std::move(completion));
}

namespace {

void sendTracking(Connector& connector, HTTPMethod method, const Track& track, Connector::Completion completion) {
  detail::guardedCall(completion, [&] {
    auto json = track.toJSON();
    if (!json) return console::print("Failed to parse tracking data to json!");
    console::print("tracking json: " + dictionaryDescription(*json));
    detail::callEndpoint(connector, method, Connector::trackingEndPoint(), std::move(*json), completion);
  });
}

}  // namespace

void Connector::postTracking(const Track& track, Completion completion) {
  sendTracking(*this, HTTPMethod::POST, track, std::move(completion));
}

void Connector::putTracking(const Track& track, Completion completion) {
  sendTracking(*this, HTTPMethod::PUT, track, std::move(completion));
}

// MARK: Weekly score and straps

void Connector::getWeeklyScore(const Date& date, Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return detail::identifierPath(weeklyScoreEndPoint(), detail::dayText(date)); },
      std::move(completion));
}

void Connector::postDevices(const Device& devies, Completion completion) {
  detail::sendRecord(*this, HTTPMethod::POST, &devicesEndpoint, devies, false, "Failed to parse devies data to json!",
                     std::move(completion));
}

}  // namespace talvaren
