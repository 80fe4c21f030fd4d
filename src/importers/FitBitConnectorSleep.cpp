#include "importers/FitBitConnector.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"

namespace talvaren {

void FitBitConnector::getSleepByDate(const Date& startDate, Completion completion) {
  const std::string day = TalvarenDateFormatter::shared()->getShortStringFromDate(startDate);
  performAPICall(HTTPMethod::GET, fitbitSleepEndpoint() + "?afterDate=" + day + "&sort=asc&limit=60&offset=0",
                 std::nullopt, platform::http::JSONEncoding::defaultEncoding(), false, std::move(completion));
}

}  // namespace talvaren
