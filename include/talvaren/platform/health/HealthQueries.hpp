#pragma once
// Queries of the health store: sample queries and statistics-collection queries, with their predicate,
// sort order and results. A query is built, handed to `HealthStore::execute`, and answers once on the
// store's callback queue (see HealthStore.hpp).
//
// Predicate boundaries, for a window from `start` to `end` (either may be absent, meaning unbounded):
//   no option        the sample overlaps the window: it ends at or after `start` and starts before `end`
//   strictStartDate  it starts in the window: start at or after `start` and before `end`
//   strictEndDate    it ends in the window: end at or after `start` and before `end`
//   both             it lies wholly in the window: starts at or after `start` and ends before `end`
//
// Statistics intervals. A statistics-collection query sums the matching samples per interval. Its
// interval is a whole number of calendar days in the device's time zone (the zone current when the query
// runs), counted forward and back from the anchor date: with an anchor at local midnight every interval
// runs from one local midnight to another, so a day on which summer time starts or ends is one interval
// of 23 or 25 hours. A sample counts whole in the interval that holds its start; nothing is split between
// intervals. An interval without a matching sample has no sum.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Calendar.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/health/HealthTypes.hpp"

namespace talvaren::platform::health {

enum class QueryOptions : unsigned { none = 0, strictStartDate = 1, strictEndDate = 2 };
inline QueryOptions operator|(QueryOptions a, QueryOptions b) {
  return static_cast<QueryOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
inline bool contains(QueryOptions set, QueryOptions option) {
  return (static_cast<unsigned>(set) & static_cast<unsigned>(option)) != 0;
}

/// Which samples a query sees (see the boundary rules at the top of this file).
struct Predicate {
  std::optional<Date> start;
  std::optional<Date> end;
  QueryOptions options = QueryOptions::none;

  bool matches(const Sample& sample) const;
  /// The same for a sample spanning [sampleStart, sampleEnd].
  bool matches(const Date& sampleStart, const Date& sampleEnd) const;
};

inline Predicate predicateForSamples(std::optional<Date> start, std::optional<Date> end, QueryOptions options) {
  return Predicate{start, end, options};
}

enum class SortKey { startDate, endDate };
struct SortDescriptor {
  SortKey key = SortKey::startDate;
  bool ascending = true;
};

/// A limit of 0 returns every matching sample.
inline constexpr std::size_t QueryNoLimit = 0;

class Query {
 public:
  virtual ~Query() = default;
  const ObjectType& objectType() const { return type_; }
  const std::optional<Predicate>& predicate() const { return predicate_; }

 protected:
  Query(ObjectType type, std::optional<Predicate> predicate) : type_(type), predicate_(std::move(predicate)) {}

 private:
  ObjectType type_;
  std::optional<Predicate> predicate_;
};

/// The samples of one type that match the predicate, sorted by the descriptors (the first one first;
/// samples equal under all of them keep the order in which they were stored), at most `limit` of them.
/// Without descriptors they come in the order they were stored.
class SampleQuery final : public Query {
 public:
  using ResultsHandler =
      std::function<void(const SampleQuery&, std::optional<std::vector<SamplePointer>>, std::optional<Error>)>;

  SampleQuery(ObjectType sampleType, std::optional<Predicate> predicate, std::size_t limit,
              std::optional<std::vector<SortDescriptor>> sortDescriptors, ResultsHandler resultsHandler);

  std::size_t limit() const { return limit_; }
  const std::optional<std::vector<SortDescriptor>>& sortDescriptors() const { return sortDescriptors_; }
  const ResultsHandler& resultsHandler() const { return handler_; }

 private:
  std::size_t limit_;
  std::optional<std::vector<SortDescriptor>> sortDescriptors_;
  ResultsHandler handler_;
};

enum class StatisticsOptions : unsigned { none = 0, cumulativeSum = 16 };

/// The sum of one interval.
class Statistics {
 public:
  Statistics(Date start, Date end, std::optional<Quantity> sum) : start_(start), end_(end), sum_(std::move(sum)) {}
  const Date& startDate() const { return start_; }
  const Date& endDate() const { return end_; }
  /// Absent for an interval without samples, or when the query did not ask for sums.
  const std::optional<Quantity>& sumQuantity() const { return sum_; }

 private:
  Date start_;
  Date end_;
  std::optional<Quantity> sum_;
};

/// The sums of a statistics-collection query, one per interval that holds a matching sample.
class StatisticsCollection {
 public:
  struct Bucket {
    std::int64_t index;  // intervals counted from the anchor (0 starts at the anchor)
    double sum;          // in the type's unit
  };

  StatisticsCollection(Date anchor, std::int64_t days, TimeZone zone, Unit unit, bool sums,
                       std::vector<Bucket> buckets);

  /// Calls `block` for every interval from the one holding `from` to the one holding `to`, both included
  /// and in order, empty intervals too, until it sets its `stop` argument. A `from` before the calendar's
  /// range (the distant past) starts at its first interval. Nothing when `from` is after `to`, either is
  /// not a date, or `to` lies beyond the calendar's range.
  void enumerateStatistics(const Date& from, const Date& to,
                           const std::function<void(const Statistics&, bool& stop)>& block) const;

  /// The start of interval `index`; absent outside the calendar's range.
  std::optional<Date> intervalStart(std::int64_t index) const;
  /// The index of the interval that holds `date`; absent outside the calendar's range.
  std::optional<std::int64_t> intervalIndex(const Date& date) const;

 private:
  Date anchor_;
  std::int64_t days_;
  Calendar calendar_;
  Unit unit_;
  bool sums_;
  std::vector<Bucket> buckets_;  // ascending index
};

/// Sums per interval of one quantity type (see the interval rules at the top of this file). The interval
/// must name a positive number of days and nothing else; any other interval, or a type that is not a
/// quantity type, makes the query answer with an error.
class StatisticsCollectionQuery final : public Query {
 public:
  using ResultsHandler = std::function<void(const StatisticsCollectionQuery&,
                                            std::shared_ptr<const StatisticsCollection>, std::optional<Error>)>;

  StatisticsCollectionQuery(ObjectType quantityType, std::optional<Predicate> predicate, StatisticsOptions options,
                            Date anchorDate, DateComponents intervalComponents);

  void setInitialResultsHandler(ResultsHandler handler) { handler_ = std::move(handler); }
  const ResultsHandler& initialResultsHandler() const { return handler_; }
  StatisticsOptions options() const { return options_; }
  const Date& anchorDate() const { return anchor_; }
  const DateComponents& intervalComponents() const { return interval_; }

 private:
  StatisticsOptions options_;
  Date anchor_;
  DateComponents interval_;
  ResultsHandler handler_;
};

}  // namespace talvaren::platform::health
