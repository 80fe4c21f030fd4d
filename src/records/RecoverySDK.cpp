#include "talvaren/records/RecoverySDK.hpp"

#include "talvaren/records/RecordDescription.hpp"

namespace talvaren {

// Defined here, not defaulted in the header: optimising a unit that makes many entries, GCC 12 lost
// track of the inline constructor's stores and took the absent values for uninitialised memory.
RecoverySDK::RecoverySDK() = default;

RecoverySDK::RecoverySDK(Blank)
    : percentage(std::nullopt), hrRecovery(std::nullopt), stressLevel(std::nullopt), s3Key(std::nullopt),
      deviceString(std::nullopt) {}

std::optional<RecoverySDK> RecoverySDK::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  RecoverySDK entry{Blank{}};
  Json::read(json, uuidKey, entry.uuid);
  Json::read(json, ownerKey, entry.owner);
  Json::read(json, dateKey, entry.date);
  Json::read(json, percentageKey, entry.percentage);
  entry.hrRecovery = Json::readRecordList<HRRecovery>(json, hrRecoveryKey);
  Json::read(json, hrvReportedKey, entry.hrvReported);
  Json::read(json, alarmSetTimeKey, entry.alarmSetTime);
  Json::read(json, alarmWakeTimeKey, entry.alarmWakeTime);
  Json::read(json, stressLevelKey, entry.stressLevel);
  Json::read(json, numberOfDrinksKey, entry.numberOfDrinks);
  Json::read(json, nutritionAmountKey, entry.nutritionAmount);
  Json::read(json, generalFeelingKey, entry.generalFeeling);
  Json::read(json, sleepQualityKey, entry.sleepQuality);
  Json::read(json, sorenessKey, entry.soreness);
  Json::read(json, s3KeyKey, entry.s3Key);
  Json::read(json, externalIdKey, entry.externalId);
  Json::read(json, externalProviderKey, entry.externalProvider);
  entry.readServerDates(json);
  entry.readModified(json);
  Json::read(json, averageHrKey, entry.averageHr);
  Json::read(json, fatigueLevelKey, entry.fatigueLevel);
  Json::read(json, deviceStringKey, entry.deviceString);
  return entry;
}

std::optional<JSON> RecoverySDK::toJSON() const {
  return Json::jsonify(
      Json::write(uuidKey, uuid),
      Json::write(ownerKey, owner),
      Json::write(hoursSleptKey, hoursSlept),
      Json::write(dateKey, date),
      Json::write(timestampKey, timestamp_),
      Json::write(percentageKey, percentage),
      Json::writeRecordList(hrRecoveryKey, hrRecovery),
      Json::write(hrvReportedKey, hrvReported),
      Json::write(alarmSetTimeKey, alarmSetTime),
      Json::write(alarmWakeTimeKey, alarmWakeTime),
      Json::write(stressLevelKey, stressLevel),
      Json::write(numberOfDrinksKey, numberOfDrinks),
      Json::write(nutritionAmountKey, nutritionAmount),
      Json::write(generalFeelingKey, generalFeeling),
      Json::write(sleepQualityKey, sleepQuality),
      Json::write(sorenessKey, soreness),
      Json::write(s3KeyKey, s3Key),
      Json::write(externalIdKey, externalId),
      Json::write(externalProviderKey, externalProvider),
      Json::write(averageHrKey, averageHr),
      Json::write(fatigueLevelKey, fatigueLevel),
      Json::write(deviceStringKey, deviceString));
}

std::string RecoverySDK::description() const {
  // A sample has no text of its own: it prints as its qualified type name.
  auto samples = describe::optional(hrRecovery, [](const std::vector<HRRecovery>& list) {
    return describe::list(list, [](const HRRecovery&) { return describe::qualifiedType("HRRecovery"); });
  });
  return describe::MultiLine("recovery")
      .field("uuid", describe::optional(uuid))
      .field("owner", describe::optional(owner))
      .field("hoursSlept", describe::optional(hoursSlept))
      .field("date", describe::optional(date))
      .field("timestamp", describe::optional(timestamp_))
      .field("created", describe::optional(created_))
      .field("percentage", describe::optional(percentage))
      .field("hrRecovery", samples)
      .field("hrvReported", describe::optional(hrvReported))
      .field("alarmSetTime", describe::optional(alarmSetTime))
      .field("alarmWakeTime", describe::optional(alarmWakeTime))
      .field("stressLevel", describe::optional(stressLevel))
      .field("numberOfDrinks", describe::optional(numberOfDrinks))
      .field("nutritionAmount", describe::optional(nutritionAmount))
      .field("generalFeeling", describe::optional(generalFeeling))
      .field("sleepQuality", describe::optional(sleepQuality))
      .field("soreness", describe::optional(soreness))
      .field("s3Key", describe::optional(s3Key))
      .field("externalId", describe::optional(externalId))
      .field("averageHr", describe::optional(averageHr))
      .field("fatigueLevel", describe::optional(fatigueLevel))
      .field("deviceString", describe::optional(deviceString))
      .field("recordId", describe::optional(recordId))
      .text();
}

}  // namespace talvaren
