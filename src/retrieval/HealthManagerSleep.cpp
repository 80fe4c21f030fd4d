#include <set>
#include <utility>

#include "retrieval/HealthManager.hpp"
#include "retrieval/HealthReading.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/records/RecordDescription.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

namespace talvaren {

namespace health = platform::health;
using namespace reading;

namespace {

constexpr std::int64_t kInBed = static_cast<std::int64_t>(health::CategoryValueSleepAnalysis::inBed);
constexpr std::int64_t kAsleep = static_cast<std::int64_t>(health::CategoryValueSleepAnalysis::asleep);

/// The device-local day on which an entry's sample ended (its date is the end as UTC text).
std::string localDay(const HealthDaySum& entry) { return formatter()->getShortDateStringFromDateTimeUTC(entry.date); }

/// One day's entry: the asleep time, or, when that is exactly zero, the time of every kept sample.
HealthDaySum sumDay(const std::vector<HealthDaySum>& entries, const std::string& day) {
  const HealthDaySum* first = nullptr;
  double sum = 0.0;
  for (const auto& entry : entries) {
    if (entry.type != kAsleep || localDay(entry) != day) continue;
    if (!first) first = &entry;
    sum += entry.value;
  }
  console::print("HealthKit sleep sample sum = " + describe::number(sum));
  if (sum == 0.0) {
    first = nullptr;
    for (const auto& entry : entries) {
      if (localDay(entry) != day) continue;
      if (!first) first = &entry;
      sum += entry.value;
    }
    console::print("HealthKit sleep sample sum inbet = " + describe::number(sum));
  }
  console::print("HealthKit sleep sample sum lastEndDate = " +
                 (first ? describe::optionalForm(true, printed(*first)) : std::string("nil")));
  // The day has at least one entry, so `first` is set; its local end day is `day` itself.
  const std::string dayText = first ? localDay(*first) : day;
  console::print("HealthKit sleep sample sum keyCurrentTimeZone = " + dayText);
  return {dayText, sum, 0};
}

}  // namespace

void HealthManager::getHKSleepAnalysis(Date forDate, SleepCompletion completion) {
  console::print("HealthKit getHKSleepAnalysis " + forDate.description());
  const Date start = beginningOfTheDay(forDate);
  const Date end = Date::now();
  console::print("HealthKit sleep data startDate " + start.description());
  console::print("HealthKit sleep data endDate " + end.description());

  auto finish = [self = retain(), this, completion = std::move(completion)](
                    std::optional<std::vector<health::SamplePointer>> samples, std::optional<Error> error) mutable {
    platform::DispatchQueue::main().async([self, this, completion = std::move(completion), samples = std::move(samples),
                                           error = std::move(error)] {
      std::vector<CategorySamplePointer> categorySamples;
      bool allCategory = samples.has_value();
      for (const auto& sample : samples.value_or(std::vector<health::SamplePointer>{})) {
        auto categorySample = std::dynamic_pointer_cast<const health::CategorySample>(sample);
        if (!categorySample) allCategory = false;
        categorySamples.push_back(std::move(categorySample));
      }
      if (!allCategory || error) {
        if (completion) completion(std::nullopt, error);
        return;
      }
      console::print("HealthKit sleep data count " + std::to_string(categorySamples.size()));
      if (categorySamples.empty()) {
        if (completion) completion(std::nullopt, std::nullopt);
        return;
      }
      console::print("HealthKit sleep data: " +
                     describe::list(categorySamples, [](const CategorySamplePointer& s) { return printed(*s); }));

      std::vector<HealthDaySum> entries;
      for (const auto& sample : removingDuplicates(categorySamples)) {
        console::print("HealthKit sleep sample " + std::to_string(sample->value()) + " date " +
                       sample->startDate().description() + " - " + sample->endDate().description());
        if (sample->value() != kAsleep && sample->value() != kInBed) continue;
        const double duration = sample->endDate().timeIntervalSince(sample->startDate());
        console::print("HealthKit sleep sample duration = " + describe::number(duration));
        entries.push_back({formatter()->getShortStringFromDateTimeUTC(sample->endDate()), duration, sample->value()});
      }
      console::print("HealthKit sleep sample tempData = " + printed(entries));

      // One record per local day on which samples end, in ascending order of day.
      std::set<std::string> days;
      for (const auto& entry : entries) days.insert(localDay(entry));
      console::print("HealthKit sleep sample keys = " +
                     describe::list(std::vector<std::string>(days.begin(), days.end()),
                                    [](const std::string& day) { return describe::quoted(day); }));
      std::vector<HealthDaySum> sleepData;
      for (const auto& day : days) sleepData.push_back(sumDay(entries, day));
      console::print("HealthKit sleep sample sleepData = " + printed(sleepData));
      auto records = createRecoveries(sleepData);
      if (completion) completion(std::move(records), std::nullopt);
    });
  };

  auto type = health::ObjectType::categoryType(health::CategoryTypeIdentifier::sleepAnalysis);
  if (!type) {
    healthKitStore->callbackQueue().async(
        [finish = std::move(finish)]() mutable { finish(std::nullopt, typeUnavailableError()); });
    return;
  }
  healthKitStore->execute(std::make_shared<health::SampleQuery>(
      *type, health::predicateForSamples(start, end, health::QueryOptions::none), 30,
      std::vector<health::SortDescriptor>{{health::SortKey::endDate, false}},
      [finish = std::move(finish)](
          const health::SampleQuery&, std::optional<std::vector<health::SamplePointer>> samples,
          std::optional<Error> error) mutable { finish(std::move(samples), std::move(error)); }));
}

std::vector<HealthManager::CategorySamplePointer> HealthManager::removingDuplicates(
    const std::vector<CategorySamplePointer>& samples) {
  std::vector<CategorySamplePointer> kept;
  for (const auto& sample : samples) {
    if (!sample) continue;
    bool inside = false;
    for (const auto& k : kept) {
      if (k->value() == sample->value() && sample->startDate() >= k->startDate() && sample->endDate() <= k->endDate()) {
        inside = true;
        break;
      }
    }
    if (inside) {
      console::print("removerd duplication HKCategorySample value = " + std::to_string(sample->value()) +
                     " startDate = " + sample->startDate().description() +
                     " endDate = " + sample->endDate().description());
    } else {
      kept.push_back(sample);
    }
  }
  return kept;
}

std::vector<SleepSDK> HealthManager::createRecoveries(const std::vector<HealthDaySum>& sleepData) {
  std::vector<SleepSDK> result;
  for (const auto& entry : sleepData) {
    auto value = wholeNumber(entry.value);
    if (!value) continue;
    SleepSDK record;
    record.date = entry.date;
    record.value = *value;
    stamp(record);
    result.push_back(std::move(record));
  }
  return result;
}

}  // namespace talvaren
