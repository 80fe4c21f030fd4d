// Feeds arbitrary bytes to the Fitbit reply readers as one parsed reply: the distance, steps and calories
// series it holds go through point decoding and both monthly conversions, and its "sleep" array through
// parserSleep. Nothing may fail; the conversions must keep one activity record per day text and one
// calories record per point, every record marked as Fitbit's, every miles text a number with two decimals;
// every decoded record must write back to an object that decodes to the same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "talvaren/importers/FitBitActivity.hpp"
#include "talvaren/importers/FitBitSleep.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/testing/FitBit.hpp"

using namespace talvaren;

namespace {

std::vector<FitBitActivity> points(const JSON& reply, std::string_view key) {
  auto decoded = Json::readRecordList<FitBitActivity>(reply, key);
  if (!decoded) return {};
  for (const auto& point : *decoded) {
    const auto again = FitBitActivity::fromJSON(*point.toJSON());
    if (!again || again->dateTime != point.dateTime || again->value != point.value) std::abort();
    (void)point.description();
  }
  return *decoded;
}

bool twoDecimalText(const std::string& text) {
  const auto dot = text.find('.');
  if (dot == std::string::npos || dot == 0 || text.size() - dot != 3) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i == dot || (i == 0 && c == '-')) continue;
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto reply = Json::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!reply) return 0;

  const auto distance = points(*reply, "activities-distance");
  const auto steps = points(*reply, "activities-steps");
  const auto activities = testkit::convertFitBitActivities(distance, steps);
  std::set<std::optional<std::string>> days;
  for (const auto& record : activities) {
    if (!days.insert(record.date).second) std::abort();
    if (record.externalId != record.date || record.externalProvider != "fit_bit_api") std::abort();
    if (record.miles && !twoDecimalText(*record.miles)) std::abort();
  }
  if (activities.size() > distance.size() + steps.size()) std::abort();

  const auto calorieSeries = points(*reply, "activities-calories");
  const auto calories = testkit::convertFitBitCalories(calorieSeries);
  if (calories.size() != calorieSeries.size()) std::abort();
  for (std::size_t i = 0; i < calories.size(); ++i) {
    if (calories[i].date != calorieSeries[i].dateTime || !calories[i].created()) std::abort();
  }

  if (const auto logs = FitBitSleep::parserSleep(*reply)) {
    for (const auto& log : *logs) {
      const auto again = FitBitSleep::fromJSON(*log.toJSON());
      if (!again || again->dateOfSleep != log.dateOfSleep || again->duration != log.duration ||
          again->minutesAsleep != log.minutesAsleep || again->type != log.type || again->logId != log.logId) {
        std::abort();
      }
      (void)log.description();
    }
  }
  return 0;
}
