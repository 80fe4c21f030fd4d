// Day records: activity, calories, sleep, HRV scores, tracking settings, the weekly score and straps.

#include "api/EndpointCall.hpp"
#include "api/EndpointText.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"

namespace talvaren {

using namespace platform::http;
using talvaren::detail::callEndpoint;

namespace {

std::string day(const Date& date) { return TalvarenDateFormatter::shared()->getShortStringFromDate(date); }

/// Shape 3: the records of the days from `start` to `end`, device-local.
void getRange(Connector& connector, const std::string& endpoint, const Date& start, const Date& end,
              std::optional<std::int64_t> limit, Connector::Completion completion) {
  std::string url = endpoint + "?date__gte=" + day(start) + "&date__lte=" + day(end);
  if (limit) url += "&limit=" + std::to_string(*limit);
  callEndpoint(connector, HTTPMethod::GET, url, std::nullopt, std::move(completion));
}

/// Shape 4: the record's JSON to the resource.
template <class Record>
void create(Connector& connector, const std::string& endpoint, const Record& record, const char* failure,
            Connector::Completion completion, HTTPMethod method = HTTPMethod::POST) {
  auto json = record.toJSON();
  if (!json) return console::print(failure);
  callEndpoint(connector, method, endpoint, std::move(*json), std::move(completion));
}

/// Shape 5: the record's JSON to the record's own path.
template <class Record>
void change(Connector& connector, HTTPMethod method, const std::string& endpoint, const Record& record,
            const char* failure, Connector::Completion completion) {
  if (!record.uuid || record.uuid->empty()) return console::print(failure);
  create(connector, endpoint + escapePathSegment(*record.uuid) + "/", record, failure, std::move(completion), method);
}

std::string one(const std::string& endpoint, const std::string& uuid) {
  return endpoint + escapePathSegment(uuid) + "/";
}

}  // namespace

std::string Connector::activityEndpoint() {
  static auto& text = *new talvaren::detail::EndpointText("activity/");
  return text.value();
}

std::string Connector::caloriesEndpoint() {
  static auto& text = *new talvaren::detail::EndpointText("calories/");
  return text.value();
}

std::string Connector::sleepEndpoint() {
  static auto& text = *new talvaren::detail::EndpointText("sleep/");
  return text.value();
}

std::string Connector::HRVScoreEndpoint() {
  static auto& text = *new talvaren::detail::EndpointText("hrv-scores/");
  return text.value();
}

std::string Connector::trackingEndPoint() {
  static auto& text = *new talvaren::detail::EndpointText("auth/me/tracking-settings/");
  return text.value();
}

std::string Connector::weeklyScoreEndPoint() {
  static auto& text = *new talvaren::detail::EndpointText("weekly-score/");
  return text.value();
}

std::string Connector::devicesEndpoint() {
  static auto& text = *new talvaren::detail::EndpointText("devices/");
  return text.value();
}

// MARK: Activity

void Connector::getManyActivities(Completion completion) {
  callEndpoint(*this, HTTPMethod::GET, activityEndpoint(), std::nullopt, std::move(completion));
}

void Connector::getActivitie(const std::string& uuid, Completion completion) {
  callEndpoint(*this, HTTPMethod::GET, one(activityEndpoint(), uuid), std::nullopt, std::move(completion));
}

void Connector::getMonthlyActivities(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                                     Completion completion) {
  getRange(*this, activityEndpoint(), startDate, endDate, limit, std::move(completion));
}

void Connector::postActivity(const ActivitySDK& activity, Completion completion) {
  create(*this, activityEndpoint(), activity, "Failed to parse activity data to json!", std::move(completion));
}

void Connector::putActivity(const ActivitySDK& activity, Completion completion) {
  change(*this, HTTPMethod::PUT, activityEndpoint(), activity, "Failed to parse activity data to json!",
         std::move(completion));
}

void Connector::patchActivity(const ActivitySDK& activity, Completion completion) {
  change(*this, HTTPMethod::PATCH, activityEndpoint(), activity, "UUID missing or failed to parse activity to json",
         std::move(completion));
}

// MARK: Calories

void Connector::getManyCalories(Completion completion) {
  callEndpoint(*this, HTTPMethod::GET, caloriesEndpoint(), std::nullopt, std::move(completion));
}

void Connector::getCalories(const std::string& uuid, Completion completion) {
  callEndpoint(*this, HTTPMethod::GET, one(caloriesEndpoint(), uuid), std::nullopt, std::move(completion));
}

void Connector::getMonthlyCalories(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                                   Completion completion) {
  getRange(*this, caloriesEndpoint(), startDate, endDate, limit, std::move(completion));
}

void Connector::postCalories(const CaloriesSDK& calories, Completion completion) {
  create(*this, caloriesEndpoint(), calories, "Failed to parse calories data to json!", std::move(completion));
}

void Connector::putCalories(const CaloriesSDK& calories, Completion completion) {
  change(*this, HTTPMethod::PUT, caloriesEndpoint(), calories, "UUID missing or failed to parse calories to json",
         std::move(completion));
}

void Connector::patchCalories(const CaloriesSDK& calories, Completion completion) {
  change(*this, HTTPMethod::PATCH, caloriesEndpoint(), calories, "UUID missing or failed to parse calories to json",
         std::move(completion));
}

// MARK: Sleep

void Connector::getManySleep(Completion completion) {
  callEndpoint(*this, HTTPMethod::GET, sleepEndpoint(), std::nullopt, std::move(completion));
}

void Connector::getSleep(const std::string& uuid, Completion completion) {
  callEndpoint(*this, HTTPMethod::GET, one(sleepEndpoint(), uuid), std::nullopt, std::move(completion));
}

void Connector::getMonthlySleep(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                                Completion completion) {
  getRange(*this, sleepEndpoint(), startDate, endDate, limit, std::move(completion));
}

void Connector::postSleep(const SleepSDK& sleep, Completion completion) {
  create(*this, sleepEndpoint(), sleep, "Failed to parse sleep data to json!", std::move(completion));
}

void Connector::putSleep(const SleepSDK& sleep, Completion completion) {
  // Sent with POST, as the server has always received it.
  change(*this, HTTPMethod::POST, sleepEndpoint(), sleep, "Failed to parse sleep data to json!", std::move(completion));
}

// MARK: HRV scores

void Connector::getHRVScores(Completion completion) {
  callEndpoint(*this, HTTPMethod::GET, HRVScoreEndpoint(), std::nullopt, std::move(completion));
}

void Connector::getMonthlyHRVScores(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                                    Completion completion) {
  getRange(*this, HRVScoreEndpoint(), startDate, endDate, limit, std::move(completion));
}

void Connector::postHRVScores(const HRVScore& score, Completion completion) {
  create(*this, HRVScoreEndpoint(), score, "Failed to parse HRVScore data to json!", std::move(completion));
}

// MARK: Tracking settings

void Connector::getTracking(Completion completion) {
  const auto url = trackingEndPoint();
  console::print(url);
  callEndpoint(*this, HTTPMethod::GET, url, std::nullopt, std::move(completion));
}

namespace {

void sendTracking(Connector& connector, HTTPMethod method, const Track& track, Connector::Completion completion) {
  const auto json = track.toJSON();
  if (!json) return console::print("Failed to parse tracking data to json!");
  console::print("tracking json: " + dictionaryDescription(*json));
  callEndpoint(connector, method, Connector::trackingEndPoint(), *json, std::move(completion));
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
  callEndpoint(*this, HTTPMethod::GET, one(weeklyScoreEndPoint(), day(date)), std::nullopt, std::move(completion));
}

void Connector::postDevices(const Device& devies, Completion completion) {
  create(*this, devicesEndpoint(), devies, "Failed to parse devies data to json!", std::move(completion));
}

}  // namespace talvaren
