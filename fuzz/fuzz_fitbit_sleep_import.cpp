// Feeds arbitrary bytes to the Fitbit sleep import as a sleep-list reply: through the list reader and
// the building of the kit's sleep records. Every log gives one record with the fixed fields set, a value
// that is the log's minutes in seconds (held at Int64's bounds) and an external id.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "../src/retrieval/FitBitSleepRecord.hpp"
#include "talvaren/importers/FitBitSleep.hpp"
#include "talvaren/platform/Json.hpp"

using namespace talvaren;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto reply = Json::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  const auto logs = FitBitSleep::parserSleep(reply);
  if (!logs) return 0;
  for (const auto& log : *logs) {
    const SleepSDK record = fitBitSleepRecord(log);
    if (record.percentage != 0 || record.externalProvider != "fit_bit_api" || record.date != log.dateOfSleep) {
      std::abort();
    }
    if (!record.externalId || record.externalId->empty() || !record.value) std::abort();
    const std::int64_t minutes = log.minutesAsleep.value_or(0);
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 60;
    if (minutes <= limit && minutes >= -limit && *record.value != minutes * 60) std::abort();
    if (minutes > limit && *record.value != std::numeric_limits<std::int64_t>::max()) std::abort();
    if (minutes < -limit && *record.value != std::numeric_limits<std::int64_t>::min()) std::abort();
    (void)record.description();
  }
  return 0;
}
