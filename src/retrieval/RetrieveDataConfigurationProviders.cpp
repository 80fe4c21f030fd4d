// The Fitbit and Garmin paths wait for their connectors: until those are in the kit, an import from
// either provider ends at once, with no request and no records.

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
void RetrieveDataConfiguration::getGarminSleepData(Date, CompleteWithResult complete) {
  if (complete) complete(false);
}
void RetrieveDataConfiguration::getGarminActivityData(Date, Complete complete) {
  if (complete) complete();
}
void RetrieveDataConfiguration::getGarminCaloriesData(Date, Complete complete) {
  if (complete) complete();
}

}  // namespace talvaren
