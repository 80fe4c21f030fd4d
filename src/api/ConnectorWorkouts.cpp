#include "api/EndpointCalls.hpp"
#include "api/EndpointText.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/records/WorkoutSDK.hpp"

namespace talvaren {

using platform::http::HTTPMethod;

namespace {

constexpr std::string_view parseFailed = "Failed to parse workout data to json!";
constexpr std::string_view patchRefused = "UUID missing or failed to parse workout to json";

}  // namespace

std::string Connector::workoutsEndpoint() { return talvaren::detail::endpointText<"workouts/">(); }

std::string Connector::hrCalculationsEndpoint() { return talvaren::detail::endpointText<"workouts/calculations/">(); }

void Connector::getManyWorkouts(Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [] { return workoutsEndpoint(); }, std::move(completion));
}

void Connector::getWorkout(const std::string& uuid, Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return detail::identifierPath(workoutsEndpoint(), uuid); }, std::move(completion));
}

void Connector::getMonthlyWorkouts(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                                   Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return workoutsEndpoint() + detail::dateRangeQuery(startDate, endDate, limit); },
      std::move(completion));
}

void Connector::postWorkout(const WorkoutSDK& workout, Completion completion) {
  detail::sendRecord(*this, HTTPMethod::POST, &workoutsEndpoint, workout, false, parseFailed, std::move(completion));
}

void Connector::putWorkout(const WorkoutSDK& workout, Completion completion) {
  detail::sendRecord(*this, HTTPMethod::PUT, &workoutsEndpoint, workout, true, parseFailed, std::move(completion));
}

void Connector::patchWorkout(const WorkoutSDK& workout, Completion completion) {
  detail::sendRecord(*this, HTTPMethod::PATCH, &workoutsEndpoint, workout, true, patchRefused, std::move(completion));
}

void Connector::deleteWorkout(const std::string& uuid, Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::DELETE, [&] { return detail::identifierPath(workoutsEndpoint(), uuid); },
      std::move(completion));
}

void Connector::postHRCalculations(const WorkoutSDK& workout, Completion completion) {
  detail::sendRecord(*this, HTTPMethod::POST, &hrCalculationsEndpoint, workout, false, parseFailed,
                     std::move(completion));
}

}  // namespace talvaren
