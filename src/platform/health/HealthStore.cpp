#include "talvaren/platform/health/HealthStore.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "platform/health/HealthDatabase.hpp"

namespace talvaren::platform::health {

// ---- types and units -------------------------------------------------------------------------------

std::string_view identifierName(QuantityTypeIdentifier identifier) {
  switch (identifier) {
    case QuantityTypeIdentifier::stepCount:
      return "stepCount";
    case QuantityTypeIdentifier::distanceWalkingRunning:
      return "distanceWalkingRunning";
    case QuantityTypeIdentifier::distanceCycling:
      return "distanceCycling";
    case QuantityTypeIdentifier::distanceSwimming:
      return "distanceSwimming";
    case QuantityTypeIdentifier::activeEnergyBurned:
      return "activeEnergyBurned";
    case QuantityTypeIdentifier::basalEnergyBurned:
      return "basalEnergyBurned";
  }
  return "unknown";
}

std::string_view identifierName(CategoryTypeIdentifier) { return "sleepAnalysis"; }

std::optional<double> Quantity::doubleValue(const Unit& unit) const {
  if (!isCompatible(unit)) return std::nullopt;
  if (unit == unit_) return value_;
  return value_ * unit_.baseUnits() / unit.baseUnits();
}

namespace {
bool offered(const ObjectType& type) {
  auto& db = detail::database();
  std::lock_guard lock(db.mutex);
  return !db.removedTypes.contains(type);
}
}  // namespace

std::optional<ObjectType> ObjectType::quantityType(QuantityTypeIdentifier identifier) {
  ObjectType type(identifier);
  if (!offered(type)) return std::nullopt;
  return type;
}

std::optional<ObjectType> ObjectType::categoryType(CategoryTypeIdentifier identifier) {
  ObjectType type(identifier);
  if (!offered(type)) return std::nullopt;
  return type;
}

std::string_view ObjectType::identifier() const {
  return kind_ == Kind::quantity ? identifierName(quantity_) : identifierName(category_);
}

std::optional<Unit> ObjectType::canonicalUnit() const {
  if (kind_ != Kind::quantity) return std::nullopt;
  switch (quantity_) {
    case QuantityTypeIdentifier::stepCount:
      return Unit::count();
    case QuantityTypeIdentifier::distanceWalkingRunning:
    case QuantityTypeIdentifier::distanceCycling:
    case QuantityTypeIdentifier::distanceSwimming:
      return Unit::meter();
    case QuantityTypeIdentifier::activeEnergyBurned:
    case QuantityTypeIdentifier::basalEnergyBurned:
      return Unit::kilocalorie();
  }
  return std::nullopt;
}

int ObjectType::rank() const {
  return kind_ == Kind::quantity ? static_cast<int>(quantity_) : 100 + static_cast<int>(category_);
}

// ---- predicates and queries --------------------------------------------------------------------------

bool Predicate::matches(const Sample& sample) const { return matches(sample.startDate(), sample.endDate()); }

bool Predicate::matches(const Date& sampleStart, const Date& sampleEnd) const {
  const bool strictStart = contains(options, QueryOptions::strictStartDate);
  const bool strictEnd = contains(options, QueryOptions::strictEndDate);
  // The sample's instant compared with the window's start, and the one compared with its end.
  const Date& againstStart = strictStart ? sampleStart : sampleEnd;
  const Date& againstEnd = strictEnd ? sampleEnd : sampleStart;
  if (start && !(againstStart >= *start)) return false;
  if (end && !(againstEnd < *end)) return false;
  return true;
}

SampleQuery::SampleQuery(ObjectType sampleType, std::optional<Predicate> predicate, std::size_t limit,
                         std::optional<std::vector<SortDescriptor>> sortDescriptors, ResultsHandler resultsHandler)
    : Query(sampleType, std::move(predicate)),
      limit_(limit),
      sortDescriptors_(std::move(sortDescriptors)),
      handler_(std::move(resultsHandler)) {}

StatisticsCollectionQuery::StatisticsCollectionQuery(ObjectType quantityType, std::optional<Predicate> predicate,
                                                     StatisticsOptions options, Date anchorDate,
                                                     DateComponents intervalComponents)
    : Query(quantityType, std::move(predicate)),
      options_(options),
      anchor_(anchorDate),
      interval_(std::move(intervalComponents)) {}

// ---- statistics collections --------------------------------------------------------------------------

StatisticsCollection::StatisticsCollection(Date anchor, std::int64_t days, TimeZone zone, Unit unit, bool sums,
                                           std::vector<Bucket> buckets)
    : anchor_(anchor),
      days_(days),
      calendar_(std::move(zone), std::nullopt),
      unit_(std::move(unit)),
      sums_(sums),
      buckets_(std::move(buckets)) {}

namespace {
// Interval indexes are kept small enough that index * days stays far inside the calendar's reach.
constexpr std::int64_t kMaxIndex = 4'000'000;
}  // namespace

std::optional<Date> StatisticsCollection::intervalStart(std::int64_t index) const {
  if (index > kMaxIndex || index < -kMaxIndex) return std::nullopt;
  return calendar_.dateByAdding(CalendarComponent::day, index * days_, anchor_);
}

std::optional<std::int64_t> StatisticsCollection::intervalIndex(const Date& date) const {
  const double seconds = date.timeIntervalSince1970();
  if (!std::isfinite(seconds) || seconds < detail::kEarliestSeconds || seconds > detail::kLatestSeconds) {
    return std::nullopt;
  }
  // Calendar days are 23 to 25 hours long, so the estimate from 24-hour days is off by at most one or two.
  const double estimate = std::floor(date.timeIntervalSince(anchor_) / (86400.0 * static_cast<double>(days_)));
  if (!(std::fabs(estimate) <= static_cast<double>(kMaxIndex))) return std::nullopt;
  auto index = static_cast<std::int64_t>(estimate);
  auto start = intervalStart(index);
  while (start && *start > date) start = intervalStart(--index);
  if (!start) return std::nullopt;
  for (auto next = intervalStart(index + 1); next && *next <= date; next = intervalStart(index + 1)) ++index;
  return index;
}

void StatisticsCollection::enumerateStatistics(const Date& from, const Date& to,
                                               const std::function<void(const Statistics&, bool& stop)>& block) const {
  if (!block || !(from <= to)) return;
  auto first = intervalIndex(from);
  if (!first && from.timeIntervalSince1970() < detail::kEarliestSeconds) {
    // A window opened before the calendar's range (the distant past) starts at its first interval.
    first = intervalIndex(Date(detail::kEarliestSeconds + 86400.0 * static_cast<double>(days_)));
    while (first && intervalStart(*first - 1)) --*first;
  }
  const auto last = intervalIndex(to);
  if (!first || !last) return;
  auto bucket = std::lower_bound(buckets_.begin(), buckets_.end(), *first,
                                 [](const Bucket& b, std::int64_t index) { return b.index < index; });
  auto start = intervalStart(*first);
  for (std::int64_t index = *first; index <= *last && start; ++index) {
    auto end = intervalStart(index + 1);
    if (!end) return;
    std::optional<Quantity> sum;
    if (bucket != buckets_.end() && bucket->index == index) {
      if (sums_) sum = Quantity(unit_, bucket->sum);
      ++bucket;
    }
    bool stop = false;
    block(Statistics(*start, *end, std::move(sum)), stop);
    if (stop) return;
    start = end;
  }
}

// ---- the store ---------------------------------------------------------------------------------------

namespace {

Error storeError(HealthStoreErrorCode code, std::string description) {
  return Error::withDescription(HealthStoreErrorDomain, static_cast<std::int64_t>(code), std::move(description));
}

/// Why a query of `type` cannot read, if it cannot; `refused` tells whether the user refused reading.
std::optional<Error> readingBlocked(const detail::HealthDatabase& db, const ObjectType& type, bool& refused) {
  if (!db.available) {
    return storeError(HealthStoreErrorCode::healthDataUnavailable, "Health data is unavailable on this device");
  }
  if (db.removedTypes.contains(type)) {
    return storeError(HealthStoreErrorCode::typeUnavailable,
                      "The data type is not available: " + std::string(type.identifier()));
  }
  if (auto it = db.queryErrors.find(type); it != db.queryErrors.end()) return it->second;
  auto allowed = db.readAllowed.find(type);
  if (allowed == db.readAllowed.end()) {
    return storeError(HealthStoreErrorCode::authorizationNotDetermined, "Authorization not determined");
  }
  refused = !allowed->second;
  return std::nullopt;
}

/// The stored samples of `type` that match `predicate`, in the order stored.
std::vector<SamplePointer> matching(const detail::HealthDatabase& db, const ObjectType& type,
                                    const std::optional<Predicate>& predicate) {
  std::vector<SamplePointer> result;
  auto it = db.samples.find(type);
  if (it == db.samples.end()) return result;
  result.reserve(it->second.size());
  for (const auto& sample : it->second) {
    if (!predicate || predicate->matches(*sample)) result.push_back(sample);
  }
  return result;
}

void runSampleQuery(const SampleQuery& query) {
  std::vector<SamplePointer> samples;
  std::optional<Error> error;
  {
    auto& db = detail::database();
    std::lock_guard lock(db.mutex);
    bool refused = false;
    error = readingBlocked(db, query.objectType(), refused);
    if (!error && !refused) samples = matching(db, query.objectType(), query.predicate());
  }
  if (!query.resultsHandler()) return;
  if (error) {
    query.resultsHandler()(query, std::nullopt, std::move(error));
    return;
  }
  if (const auto& descriptors = query.sortDescriptors(); descriptors && !descriptors->empty()) {
    std::stable_sort(samples.begin(), samples.end(), [&](const SamplePointer& a, const SamplePointer& b) {
      for (const auto& d : *descriptors) {
        const Date& x = d.key == SortKey::startDate ? a->startDate() : a->endDate();
        const Date& y = d.key == SortKey::startDate ? b->startDate() : b->endDate();
        if (x == y) continue;
        return d.ascending ? x < y : y < x;
      }
      return false;
    });
  }
  if (query.limit() != QueryNoLimit && samples.size() > query.limit()) samples.resize(query.limit());
  query.resultsHandler()(query, std::move(samples), std::nullopt);
}

/// The number of days of a statistics interval: a positive day count and no other component.
std::optional<std::int64_t> intervalDays(const DateComponents& components) {
  DateComponents daysOnly;
  daysOnly.day = components.day;
  if (!(components == daysOnly) || !components.day || *components.day <= 0 || *components.day > 36500) {
    return std::nullopt;
  }
  return components.day;
}

/// A sample as a statistics query sums it: its start and its quantity in the query's unit.
struct Amount {
  Date start;
  double value;
};

/// The amounts of the stored samples of `type` (a quantity type, whose amounts are kept in its canonical
/// unit, the one statistics report in) that match `predicate`, in the order stored. It reads the compact
/// spans, not the samples: a long history is walked once, without touching an object per sample.
std::vector<Amount> matchingAmounts(const detail::HealthDatabase& db, const ObjectType& type,
                                    const std::optional<Predicate>& predicate) {
  std::vector<Amount> result;
  auto it = db.spans.find(type);
  if (it == db.spans.end()) return result;
  result.reserve(it->second.size());
  for (const auto& span : it->second) {
    if (predicate && !predicate->matches(span.start, span.end)) continue;
    result.push_back({span.start, span.amount});
  }
  return result;
}

/// Orders `amounts` by start date, those of one start date in the order given. Samples mostly arrive in
/// order already: then nothing moves.
void sortByStartDate(std::vector<Amount>& amounts) {
  const auto earlier = [](const Amount& a, const Amount& b) { return a.start < b.start; };
  if (std::is_sorted(amounts.begin(), amounts.end(), earlier)) return;
  std::stable_sort(amounts.begin(), amounts.end(), earlier);
}

std::shared_ptr<const StatisticsCollection> collect(const StatisticsCollectionQuery& query, std::int64_t days,
                                                    const Unit& unit, std::vector<Amount> amounts) {
  const bool sums = query.options() == StatisticsOptions::cumulativeSum;
  const TimeZone zone = TimeZone::current();
  const StatisticsCollection grid(query.anchorDate(), days, zone, unit, sums, {});
  sortByStartDate(amounts);
  std::vector<StatisticsCollection::Bucket> buckets;
  std::optional<Date> nextStart;  // where the interval of the last bucket ends
  for (const auto& amount : amounts) {
    if (!buckets.empty() && nextStart && amount.start < *nextStart) {
      buckets.back().sum += amount.value;
      continue;
    }
    auto index = grid.intervalIndex(amount.start);
    if (!index) continue;
    nextStart = grid.intervalStart(*index + 1);
    buckets.push_back({*index, amount.value});
  }
  return std::make_shared<StatisticsCollection>(query.anchorDate(), days, zone, unit, sums, std::move(buckets));
}

void runStatisticsQuery(const StatisticsCollectionQuery& query) {
  std::vector<Amount> amounts;
  std::optional<Error> error;
  const auto unit = query.objectType().canonicalUnit();
  const auto days = intervalDays(query.intervalComponents());
  const double anchor = query.anchorDate().timeIntervalSince1970();
  {
    auto& db = detail::database();
    std::lock_guard lock(db.mutex);
    bool refused = false;
    error = readingBlocked(db, query.objectType(), refused);
    if (!error && (!unit || !days || !std::isfinite(anchor) || anchor < detail::kEarliestSeconds ||
                   anchor > detail::kLatestSeconds)) {
      error = storeError(HealthStoreErrorCode::invalidArgument,
                         "Statistics need a quantity type, a finite anchor date and an interval of whole days");
    }
    if (!error && !refused) amounts = matchingAmounts(db, query.objectType(), query.predicate());
  }
  if (!query.initialResultsHandler()) return;
  if (error) {
    query.initialResultsHandler()(query, nullptr, std::move(error));
    return;
  }
  query.initialResultsHandler()(query, collect(query, *days, *unit, std::move(amounts)), std::nullopt);
}

}  // namespace

HealthStore::HealthStore() : queue_("healthStore") {}

bool HealthStore::isHealthDataAvailable() {
  auto& db = detail::database();
  std::lock_guard lock(db.mutex);
  return db.available;
}

void HealthStore::requestAuthorization(std::optional<std::vector<ObjectType>> toShare, std::vector<ObjectType> toRead,
                                       AuthorizationCompletion completion) {
  {
    auto& db = detail::database();
    std::lock_guard lock(db.mutex);
    db.requests.push_back({toShare, toRead});
  }
  queue_.async([toShare = std::move(toShare), toRead = std::move(toRead), completion = std::move(completion)] {
    bool success = false;
    std::optional<Error> error;
    {
      auto& db = detail::database();
      std::lock_guard lock(db.mutex);
      if (!db.available) {
        error = storeError(HealthStoreErrorCode::healthDataUnavailable, "Health data is unavailable on this device");
      } else if (toRead.empty() && (!toShare || toShare->empty())) {
        error = storeError(HealthStoreErrorCode::invalidArgument, "No data types to authorize");
      } else {
        success = db.answer.success;
        error = db.answer.error;
        if (success) {
          for (const auto& type : toRead) {
            db.readAllowed[type] = !db.answer.refusedReadTypes.contains(type);
            db.shareAllowed.try_emplace(type, false);
          }
          for (const auto& type : toShare.value_or(std::vector<ObjectType>{})) db.shareAllowed[type] = true;
        }
      }
    }
    if (completion) completion(success, std::move(error));
  });
}

AuthorizationStatus HealthStore::authorizationStatus(const ObjectType& type) const {
  auto& db = detail::database();
  std::lock_guard lock(db.mutex);
  auto it = db.shareAllowed.find(type);
  if (it == db.shareAllowed.end()) return AuthorizationStatus::notDetermined;
  return it->second ? AuthorizationStatus::sharingAuthorized : AuthorizationStatus::sharingDenied;
}

void HealthStore::execute(std::shared_ptr<Query> query) {
  if (!query) return;
  queue_.async([query = std::move(query)] {
    if (auto* sampleQuery = dynamic_cast<const SampleQuery*>(query.get())) {
      runSampleQuery(*sampleQuery);
    } else if (auto* statisticsQuery = dynamic_cast<const StatisticsCollectionQuery*>(query.get())) {
      runStatisticsQuery(*statisticsQuery);
    }
  });
}

// ---- the shared data ---------------------------------------------------------------------------------

namespace detail {

void HealthDatabase::add(SamplePointer sample) {
  double amount = std::numeric_limits<double>::quiet_NaN();
  if (const auto* quantity = dynamic_cast<const QuantitySample*>(sample.get())) {
    if (const auto unit = sample->sampleType().canonicalUnit()) {
      amount = quantity->quantity().doubleValue(*unit).value_or(amount);
    }
  }
  const auto& type = sample->sampleType();
  auto& series = samples[type];
  auto& seriesSpans = spans[type];
  seriesSpans.push_back({sample->startDate(), sample->endDate(), amount});
  try {
    series.push_back(std::move(sample));
  } catch (...) {
    seriesSpans.pop_back();  // the two lists stay index for index
    throw;
  }
}

void HealthDatabase::reset() {
  available = true;
  answer = AuthorizationAnswer{};
  samples.clear();
  spans.clear();
  readAllowed.clear();
  shareAllowed.clear();
  queryErrors.clear();
  removedTypes.clear();
  requests.clear();
}

HealthDatabase& database() {
  static HealthDatabase* db = new HealthDatabase();  // never destroyed: stores may answer during exit
  return *db;
}

}  // namespace detail

}  // namespace talvaren::platform::health
