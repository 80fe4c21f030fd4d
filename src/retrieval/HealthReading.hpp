#pragma once
// What the health readers share: printed forms for their log lines, safe number conversions and the
// common fields of the records they make.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "retrieval/HealthManager.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/health/HealthQueries.hpp"
#include "talvaren/platform/health/HealthTypes.hpp"
#include "talvaren/utilities/TalvarenDateFormatter.hpp"

namespace talvaren::reading {

/// "nil" or "Optional(Error Domain=<domain> Code=<code> \"<description>\")".
std::string printed(const std::optional<Error>& error);
/// "Statistics: startDate = ..., endDate = ..., sumQuantity = Optional(812.0 count)".
std::string printed(const platform::health::Statistics& statistics);
/// "nil" or "Optional(Device: name = Optional(\"Watch\"), manufacturer = nil, model = nil)".
std::string printed(const std::optional<platform::health::SourceDevice>& device);
/// "CategorySample: value = 1, startDate = ..., endDate = ...".
std::string printed(const platform::health::CategorySample& sample);
/// "(date: \"2026-01-02\", value: 27000.0, type: 1)".
std::string printed(const HealthDaySum& entry);
std::string printed(const std::vector<HealthDaySum>& entries);
/// The address of a flag, as a pointer prints.
std::string describePointer(const void* pointer);

/// `value` truncated toward zero when it is finite and inside Int64's range; absent otherwise.
std::optional<std::int64_t> wholeNumber(double value);
/// a + b, held at Int64's bounds instead of overflowing.
std::int64_t saturatingAdd(std::int64_t a, std::int64_t b);

/// The sum of an interval in `unit` when it has one that whole-number conversion can take.
std::optional<double> usableSum(const platform::health::Statistics& statistics, const platform::health::Unit& unit);

/// Appends (day text of the start, sum, 0) for every interval from `start` to `end` with a usable sum.
void appendDaySums(const platform::health::StatisticsCollection& collection, const Date& start, const Date& end,
                   const platform::health::Unit& unit, std::vector<HealthDaySum>& list);

/// The reader's error for a type the store does not offer.
Error typeUnavailableError();

inline std::shared_ptr<TalvarenDateFormatter> formatter() { return TalvarenDateFormatter::shared(); }

/// Sets `externalId` to the record's date, the provider, and `created` and `timestamp` from two clock reads.
template <class Record>
void stamp(Record& record) {
  record.externalId = record.date;
  record.externalProvider = std::string(HealthKitProviderName);
  record.setCreated(formatter()->getCreatedStringFromDate(Date::now()));
  record.setTimestamp(formatter()->getCreatedStringFromDate(Date::now()));
}

}  // namespace talvaren::reading
