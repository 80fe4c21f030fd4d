#include "importers/FitBitConnector.hpp"
#include "talvaren/utilities/DateExtensions.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"

namespace talvaren {

void FitBitConnector::getMothlySeries(const std::string& endpoint, const Date& forDate, Completion completion) {
  const auto formatter = TalvarenDateFormatter::shared();
  const std::string start = formatter->getShortStringFromDate(beginningOfTheDay(forDate));
  Date last = endOfTheDay(formatter->getLastDayOfTheMonth(forDate));
  if (const Date now = Date::now(); last > now) last = now;
  const std::string end = formatter->getShortStringFromDate(last);
  performAPICall(HTTPMethod::GET, endpoint + start + "/" + end + ".json", std::nullopt,
                 platform::http::JSONEncoding::defaultEncoding(), false, std::move(completion));
}

void FitBitConnector::getMothlyDistance(const Date& forDate, Completion completion) {
  getMothlySeries(fitbitDistanceEndpoint(), forDate, std::move(completion));
}

void FitBitConnector::getMothlySteps(const Date& forDate, Completion completion) {
  getMothlySeries(fitbitStepsEndpoint(), forDate, std::move(completion));
}

void FitBitConnector::getMothlyCalories(const Date& forDate, Completion completion) {
  getMothlySeries(fitbitCaloriesEndpoint(), forDate, std::move(completion));
}

}  // namespace talvaren
