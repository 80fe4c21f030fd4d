#include "talvaren/records/CaloriesSDK.hpp"

#include "records/DayValueRecord.hpp"

namespace talvaren {

std::optional<CaloriesSDK> CaloriesSDK::fromJSON(const JSON& json) {
  return record::readDayValue<CaloriesSDK>(json, &CaloriesSDK::readServerDates);
}

std::optional<JSON> CaloriesSDK::toJSON() const { return record::dayValueJSON(*this); }

std::string CaloriesSDK::description() const { return record::describeDayValue(*this, "Calories"); }

}  // namespace talvaren
