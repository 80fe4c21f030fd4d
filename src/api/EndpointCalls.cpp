#include "api/EndpointCalls.hpp"

#include "talvaren/platform/http/ParameterEncoding.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"

namespace talvaren::detail {

std::string identifierPath(const std::string& endpoint, std::string_view identifier) {
  return endpoint + platform::http::escapePathSegment(identifier) + "/";
}

std::string dayText(const Date& date) { return TalvarenDateFormatter::shared()->getShortStringFromDate(date); }

std::string dateRangeQuery(const Date& startDate, const Date& endDate, std::optional<std::int64_t> limit) {
  std::string query = "?date__gte=" + dayText(startDate) + "&date__lte=" + dayText(endDate);
  if (limit) query += "&limit=" + std::to_string(*limit);
  return query;
}

}  // namespace talvaren::detail
