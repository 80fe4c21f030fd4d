// The day table, the day-by-day chains, the day lookups and the import entry of the Garmin connector.

#include <cmath>
#include <limits>

#include "importers/GarminConnector.hpp"
#include "talvaren/platform/Calendar.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

namespace talvaren {

namespace {

/// `connector` held by its owners, or not held at all when no shared_ptr owns it (a double on the stack).
std::shared_ptr<GarminConnector> retained(GarminConnector& connector) {
  auto owned = connector.weak_from_this().lock();
  return owned ? owned : std::shared_ptr<GarminConnector>(std::shared_ptr<GarminConnector>(), &connector);
}

}  // namespace

// MARK: Day table

void GarminConnector::prepareForCall(const Date& startDate) {
  prepareDateTable(startDate);
  currentDateIndex = 0;
  sleepData.clear();
  activityData.clear();
  caloriesData.clear();
  sleepIndex_.clear();
  activityIndex_.clear();
  caloriesIndex_.clear();
}

std::vector<Date> GarminConnector::prepareDateTable(const Date& startDate) {
  dateTable.clear();
  const Date endOfToday = endOfTheDay(Date::now());
  const Date monthLimit = endOfMonth(startDate);
  const auto calendar = Calendar::current();
  // Calendar days, not 86,400 s: a change of summer time neither skips nor repeats a day. A date the
  // calendar cannot advance (or NaN, which compares false) ends the table.
  std::optional<Date> day = startDate;
  while (day && *day <= endOfToday && *day <= monthLimit) {
    dateTable.push_back(*day);
    const auto next = calendar.dateByAdding(CalendarComponent::day, 1, *day);
    day = next && *next > *day ? next : std::nullopt;
  }
  return dateTable;
}

// MARK: Chains

template <class Summary>
void GarminConnector::runChain(std::string_view countLine, std::string_view decodingLine,
                               void (GarminConnector::*day)(const Date&, Completion),
                               void (GarminConnector::*fold)(const std::vector<Summary>&),
                               Records (GarminConnector::*list)() const, ImportCompletion completion) {
  auto complete = [&completion](std::optional<Error> error, std::optional<Records> records) {
    if (completion) completion(std::move(error), std::move(records));
  };
  if (dateTable.empty()) {
    console::print(std::string(countLine));
    return complete(std::nullopt, std::nullopt);
  }
  // An index past the table (a chain started again without a new prepareForCall) has no day to fetch.
  if (currentDateIndex < 0 || currentDateIndex >= static_cast<std::int64_t>(dateTable.size())) {
    return complete(std::nullopt, std::nullopt);
  }
  // The handler keeps the connector alive.
  auto keep = retained(*this);
  (this->*day)(dateTable[static_cast<std::size_t>(currentDateIndex)],
               [this, keep, countLine, decodingLine, day, fold, list, completion](std::optional<Error> error,
                                                                                  std::optional<JSON> reply) {
                 if (error) {
                   if (completion) completion(std::move(error), std::nullopt);
                   return;
                 }
                 auto summaries = reply ? Json::fromJSONArray<Summary>(*reply) : std::nullopt;
                 if (!summaries) {
                   console::print(std::string(decodingLine));
                   if (completion) completion(std::nullopt, std::nullopt);
                   return;
                 }
                 (this->*fold)(*summaries);
                 ++currentDateIndex;
                 if (currentDateIndex < static_cast<std::int64_t>(dateTable.size())) {
                   return runChain<Summary>(countLine, decodingLine, day, fold, list, completion);
                 }
                 if (completion) completion(std::nullopt, (this->*list)());
               });
}

void GarminConnector::getActivityByDate(const Date&, ImportCompletion completion) {
  runChain<GarminActivity>("GarminConnector activit - dateTable.count = 0 ", "Decoding garmin activity error",
                           &GarminConnector::getActivityByDay, &GarminConnector::addDailies,
                           &GarminConnector::activityList, std::move(completion));
}

void GarminConnector::getCaloriesByDate(const Date&, ImportCompletion completion) {
  runChain<GarminActivity>("GarminConnector calories - dateTable.count = 0 ", "Decoding garmin calories error",
                           &GarminConnector::getCaloriesByDay, &GarminConnector::addActivities,
                           &GarminConnector::caloriesList, std::move(completion));
}

void GarminConnector::getSleepByDate(const Date&, ImportCompletion completion) {
  runChain<GarminSleep>("GarminConnector sleep - dateTable.count = 0 ", "GarminConnector - decoding garmin sleep error",
                        &GarminConnector::getSleepByDay, &GarminConnector::addSleeps, &GarminConnector::sleepList,
                        std::move(completion));
}

// MARK: Day lookups

ActivitySDK& GarminConnector::getActivityByDate(const std::string& date) {
  return activityIndex_.recordOfDay(activityData, date);
}

CaloriesSDK& GarminConnector::getCaloriesByDate(const std::string& date) {
  return caloriesIndex_.recordOfDay(caloriesData, date);
}

SleepSDK& GarminConnector::getRecoveryByDate(const std::string& date) {
  return sleepIndex_.recordOfDay(sleepData, date);
}

// MARK: Import entry

void GarminConnector::importData(GarminImportKind kind, const Date& startDate, ImportCompletion completion) {
  PendingImport import{kind, startDate, std::move(completion)};
  if (!platform::DispatchQueue::isMainQueueCurrent()) {
    auto self = retained(*this);
    platform::DispatchQueue::main().async([self, import = std::move(import)]() mutable {
      self->importData(import.kind, import.startDate, import.completion);
    });
    return;
  }
  if (importRunning_) {
    pendingImports_.push_back(std::move(import));
    return;
  }
  startImport(std::move(import));
}

void GarminConnector::startImport(PendingImport import) {
  importRunning_ = true;
  prepareForCall(import.startDate);
  auto self = retained(*this);
  // The caller's completion runs while this import still counts as running, so an import it starts
  // queues behind those already waiting; the next one starts after it has returned.
  ImportCompletion finish = [self, completion = std::move(import.completion)](std::optional<Error> error,
                                                                              std::optional<Records> records) {
    if (completion) completion(std::move(error), std::move(records));
    self->importRunning_ = false;
    if (self->pendingImports_.empty()) return;
    auto next = std::move(self->pendingImports_.front());
    self->pendingImports_.pop_front();
    self->startImport(std::move(next));
  };
  switch (import.kind) {
    case GarminImportKind::activity:
      return getActivityByDate(import.startDate, std::move(finish));
    case GarminImportKind::calories:
      return getCaloriesByDate(import.startDate, std::move(finish));
    case GarminImportKind::sleep:
      return getSleepByDate(import.startDate, std::move(finish));
  }
}

}  // namespace talvaren
