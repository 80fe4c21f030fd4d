#include "retrieval/HealthManager.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "retrieval/HealthReading.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/records/RecordDescription.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

namespace talvaren {

namespace health = platform::health;

// ---- what the readers share ------------------------------------------------------------------------

namespace reading {

std::string printed(const std::optional<Error>& error) {
  if (!error) return "nil";
  return describe::optionalForm(true, "Error Domain=" + error->domain + " Code=" + std::to_string(error->code) + " " +
                                          describe::quoted(error->localizedDescription()));
}

std::string printed(const health::Statistics& statistics) {
  std::string sum = "nil";
  if (const auto& quantity = statistics.sumQuantity()) {
    sum = describe::optionalForm(true, describe::number(quantity->value()) + " " + quantity->unit().unitString());
  }
  return describe::OneLine("Statistics")
      .field("startDate", statistics.startDate().description())
      .field("endDate", statistics.endDate().description())
      .field("sumQuantity", sum)
      .text();
}

std::string printed(const std::optional<health::SourceDevice>& device) {
  return describe::optional(device, [](const health::SourceDevice& d) {
    return describe::OneLine("Device")
        .field("name", describe::optional(d.name))
        .field("manufacturer", describe::optional(d.manufacturer))
        .field("model", describe::optional(d.model))
        .text();
  });
}

std::string printed(const health::CategorySample& sample) {
  return describe::OneLine("CategorySample")
      .field("value", describe::number(sample.value()))
      .field("startDate", sample.startDate().description())
      .field("endDate", sample.endDate().description())
      .text();
}

std::string printed(const HealthDaySum& entry) {
  return "(date: " + describe::quoted(entry.date) + ", value: " + describe::number(entry.value) +
         ", type: " + describe::number(entry.type) + ")";
}

std::string printed(const std::vector<HealthDaySum>& entries) {
  return describe::list(entries, [](const HealthDaySum& entry) { return printed(entry); });
}

std::string describePointer(const void* pointer) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", pointer);
  return text;
}

std::optional<std::int64_t> wholeNumber(double value) {
  // 2^63: the first double above Int64's range; every double below it truncates into the range.
  constexpr double limit = 9223372036854775808.0;
  if (!std::isfinite(value) || value >= limit || value < -limit) return std::nullopt;
  return static_cast<std::int64_t>(value);
}

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

std::optional<double> usableSum(const health::Statistics& statistics, const health::Unit& unit) {
  const auto& quantity = statistics.sumQuantity();
  if (!quantity) return std::nullopt;
  auto value = quantity->doubleValue(unit);
  if (!value || !wholeNumber(*value)) return std::nullopt;
  return value;
}

void appendDaySums(const health::StatisticsCollection& collection, const Date& start, const Date& end,
                   const health::Unit& unit, std::vector<HealthDaySum>& list) {
  collection.enumerateStatistics(start, end, [&](const health::Statistics& statistics, bool&) {
    if (auto sum = usableSum(statistics, unit)) {
      list.push_back({formatter()->getShortStringFromDate(statistics.startDate()), *sum, 0});
    }
  });
}

Error typeUnavailableError() {
  return Error::withDescription(HealthKitErrorDomain, static_cast<std::int64_t>(HealthKitErrorCode::typeUnavailable),
                                "HealthKit data type is not available in this Device");
}

}  // namespace reading

// ---- the manager -----------------------------------------------------------------------------------

HealthManager::HealthManager() : healthKitStore(std::make_shared<health::HealthStore>()) {}

void HealthManager::authorizeHealthKit(AuthorizationCompletion completion) {
  std::vector<health::ObjectType> readTypes;
  if (auto sleep = health::ObjectType::categoryType(health::CategoryTypeIdentifier::sleepAnalysis)) {
    readTypes.push_back(*sleep);
  }
  for (auto identifier :
       {health::QuantityTypeIdentifier::activeEnergyBurned, health::QuantityTypeIdentifier::basalEnergyBurned,
        health::QuantityTypeIdentifier::distanceWalkingRunning, health::QuantityTypeIdentifier::distanceCycling,
        health::QuantityTypeIdentifier::distanceSwimming, health::QuantityTypeIdentifier::stepCount}) {
    if (auto type = health::ObjectType::quantityType(identifier)) readTypes.push_back(*type);
  }
  if (!health::HealthStore::isHealthDataAvailable()) {
    if (completion) {
      completion(false, Error::withDescription(HealthKitErrorDomain,
                                               static_cast<std::int64_t>(HealthKitErrorCode::healthDataUnavailable),
                                               "HealthKit is not availale in this Device"));
    }
    return;
  }
  healthKitStore->requestAuthorization(
      std::nullopt, std::move(readTypes),
      [self = retain(), completion = std::move(completion)](bool success, std::optional<Error> error) {
        if (completion) completion(success, std::move(error));
      });
}

void HealthManager::runDailyStatistics(health::QuantityTypeIdentifier identifier, Date startDate, Date endDate,
                                       health::QueryOptions options, StatisticsCompletion handler) {
  auto type = health::ObjectType::quantityType(identifier);
  if (!type) {
    healthKitStore->callbackQueue().async(
        [self = retain(), handler = std::move(handler)] { handler(nullptr, reading::typeUnavailableError()); });
    return;
  }
  DateComponents oneDay;
  oneDay.day = 1;
  auto query = std::make_shared<health::StatisticsCollectionQuery>(
      *type, health::predicateForSamples(startDate, endDate, options), health::StatisticsOptions::cumulativeSum,
      beginningOfTheDay(Date::now()), oneDay);
  query->setInitialResultsHandler(
      [self = retain(), handler = std::move(handler)](
          const health::StatisticsCollectionQuery&, std::shared_ptr<const health::StatisticsCollection> collection,
          std::optional<Error> error) { handler(std::move(collection), std::move(error)); });
  healthKitStore->execute(std::move(query));
}

}  // namespace talvaren
