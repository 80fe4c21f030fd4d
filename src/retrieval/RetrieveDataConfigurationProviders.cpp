// The Fitbit paths wait for their connector: until it is in the kit, a Fitbit import ends at once, with
// no request and no records.

#include "talvaren/retrieval/RetrieveDataConfiguration.hpp"

namespace talvaren {

void RetrieveDataConfiguration::getFitBitSleepData(Date, CompleteWithResult complete) {
  if (complete) complete(false);
}
void RetrieveDataConfiguration::getFitBitActivityData(Date, Complete complete) {
  if (complete) complete();
}
void RetrieveDataConfiguration::getFitBitCaloriesData(Date, Complete complete) {
  if (complete) complete();
}
}  // namespace talvaren
