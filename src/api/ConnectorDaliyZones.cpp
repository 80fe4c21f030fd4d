#include "api/EndpointCalls.hpp"
#include "api/EndpointText.hpp"
#include "talvaren/api/Connector.hpp"

namespace talvaren {

using platform::http::HTTPMethod;

std::string Connector::dailyZonesEndPoint() { return talvaren::detail::endpointText<"daily_zones/">(); }

void Connector::getManyDaliyZones(const Date& date, Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return dailyZonesEndPoint() + "?date=" + detail::dayText(date); },
      std::move(completion));
}

void Connector::getDaliyZones(const Date& date, Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return dailyZonesEndPoint() + "?date=" + detail::dayText(date) + "&limit=1"; },
      std::move(completion));
}

void Connector::getMonthlyDaliyZones(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit,
                                     Completion completion) {
  detail::callEndpointAt(
      *this, HTTPMethod::GET, [&] { return dailyZonesEndPoint() + detail::dateRangeQuery(startDate, endDate, limit); },
      std::move(completion));
}

}  // namespace talvaren
