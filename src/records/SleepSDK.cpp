#include "talvaren/records/SleepSDK.hpp"

#include "records/DayValueRecord.hpp"

namespace talvaren {

std::optional<SleepSDK> SleepSDK::fromJSON(const JSON& json) {
  return record::readDayValue<SleepSDK>(json, &SleepSDK::readServerDates);
}

std::optional<JSON> SleepSDK::toJSON() const { return record::dayValueJSON(*this); }

std::string SleepSDK::description() const { return record::describeDayValue(*this, "Sleep"); }

}  // namespace talvaren
