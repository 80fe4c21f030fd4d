#pragma once
// Internal: the kit's sleep record made from one Fitbit sleep log.

#include "talvaren/importers/FitBitSleep.hpp"
#include "talvaren/records/SleepSDK.hpp"

namespace talvaren {

/// percentage 0; date: the log's dateOfSleep as it came; value: minutesAsleep × 60 seconds (0 without
/// minutesAsleep, held at Int64's bounds); externalId: the logId in decimal, or today's day text in the
/// device's zone without one; externalProvider "fit_bit_api". Nothing else is set.
SleepSDK fitBitSleepRecord(const FitBitSleep& entry);

}  // namespace talvaren
