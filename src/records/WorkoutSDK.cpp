#include "talvaren/records/WorkoutSDK.hpp"

#include "talvaren/records/RecordDescription.hpp"

namespace talvaren {
namespace {

// Keys of the JSON form and of the archive.
constexpr const char* uuidKey = "uuid";
constexpr const char* ownerKey = "owner";
constexpr const char* durationKey = "duration";
constexpr const char* dateKey = "date";
constexpr const char* startedKey = "started";
constexpr const char* finishedKey = "finished";
constexpr const char* exactStartedKey = "exactStarted";
constexpr const char* exactFinishedKey = "exactFinished";
constexpr const char* imageChartKey = "imageChart";
constexpr const char* notesKey = "notes";
constexpr const char* importedKey = "imported";
constexpr const char* typeKey = "type";
constexpr const char* rpeKey = "rpe";
constexpr const char* caloriesKey = "calories";
constexpr const char* avgHrKey = "avg_hr";
constexpr const char* maxHrKey = "max_hr";
constexpr const char* timeAbove90Key = "time_above_90";
constexpr const char* timeBelow100Key = "time_bellow_100";
constexpr const char* timeInZoneRecoveryKey = "time_in_zone_recovery";
constexpr const char* timeInZoneTrainKey = "time_in_zone_train";
constexpr const char* timeInZoneOverloadKey = "time_in_zone_overload";
constexpr const char* trainingThresholdKey = "training_threshold";
constexpr const char* overloadThresholdKey = "overload_threshold";
constexpr const char* workoutEnjoymentKey = "workout_enjoyment";
constexpr const char* workoutPerformanceKey = "workout_performance";
constexpr const char* injuryKey = "injury";
constexpr const char* missedKey = "missed";
constexpr const char* s3KeyKey = "s3_key";
constexpr const char* trainerKey = "trainer";
constexpr const char* deviceKey = "device";
constexpr const char* trainingSourceKey = "training_source";
constexpr const char* createdKey = "created";
constexpr const char* createdTimestampKey = "created_timestamp";
constexpr const char* modifiedTimestampKey = "modified_timestamp";
constexpr const char* timestampTimestampKey = "timestamp_timestamp";
constexpr const char* modifiedKey = "modified";
constexpr const char* timestampKey = "timestamp";
constexpr const char* deletedKey = "deleted";
constexpr const char* numberOfResumesKey = "number_of_resumes";
constexpr const char* heartratesKey = "hr_data";

}  // namespace

WorkoutSDK::WorkoutSDK(Blank) : numberOfResumes(std::nullopt), heartrates(std::nullopt) {}

std::optional<WorkoutSDK> WorkoutSDK::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  WorkoutSDK workout{Blank{}};
  Json::read(json, uuidKey, workout.uuid);
  Json::read(json, ownerKey, workout.owner);
  Json::read(json, durationKey, workout.duration);
  Json::read(json, dateKey, workout.date);
  Json::read(json, startedKey, workout.started);
  Json::read(json, finishedKey, workout.finished);
  Json::read(json, notesKey, workout.notes);
  Json::read(json, importedKey, workout.imported);
  Json::read(json, typeKey, workout.type);
  Json::read(json, rpeKey, workout.rpe);
  Json::read(json, caloriesKey, workout.calories);
  Json::read(json, avgHrKey, workout.avgHr);
  Json::read(json, maxHrKey, workout.maxHr);
  Json::read(json, timeAbove90Key, workout.timeAbove90);
  Json::read(json, timeBelow100Key, workout.timeBelow100);
  Json::read(json, timeInZoneRecoveryKey, workout.timeInZoneRecovery);
  Json::read(json, timeInZoneTrainKey, workout.timeInZoneTrain);
  Json::read(json, timeInZoneOverloadKey, workout.timeInZoneOverload);
  Json::read(json, trainingThresholdKey, workout.trainingThreshold);
  Json::read(json, overloadThresholdKey, workout.overloadThreshold);
  Json::read(json, workoutEnjoymentKey, workout.workoutEnjoyment);
  Json::read(json, workoutPerformanceKey, workout.workoutPerformance);
  Json::read(json, injuryKey, workout.injury);
  Json::read(json, missedKey, workout.missed);
  Json::read(json, s3KeyKey, workout.s3Key);
  Json::read(json, trainerKey, workout.trainer);
  Json::read(json, deviceKey, workout.device);
  Json::read(json, trainingSourceKey, workout.trainingSource);
  workout.readServerDates(json);
  workout.readModified(json);
  Json::read(json, deletedKey, workout.deleted);
  workout.numberOfResumes = 0;  // never taken from "number_of_resumes"
  workout.heartrates = Json::readRecordList<HeartrateSDK>(json, heartratesKey);
  return workout;
}

std::optional<JSON> WorkoutSDK::toJSON() const {
  return Json::jsonify(
      Json::write(uuidKey, uuid),
      Json::write(ownerKey, owner),
      Json::write(durationKey, duration),
      Json::write(dateKey, date),
      Json::write(startedKey, started),
      Json::write(finishedKey, finished),
      Json::write(notesKey, notes),
      Json::write(importedKey, imported),
      Json::write(typeKey, type),
      Json::write(rpeKey, rpe),
      Json::write(caloriesKey, calories),
      Json::write(timestampKey, timestamp_),
      Json::write(avgHrKey, avgHr),
      Json::write(maxHrKey, maxHr),
      Json::write(timeAbove90Key, timeAbove90),
      Json::write(timeBelow100Key, timeBelow100),
      Json::write(timeInZoneRecoveryKey, timeInZoneRecovery),
      Json::write(timeInZoneTrainKey, timeInZoneTrain),
      Json::write(timeInZoneOverloadKey, timeInZoneOverload),
      Json::write(trainingThresholdKey, trainingThreshold),
      Json::write(overloadThresholdKey, overloadThreshold),
      Json::write(workoutEnjoymentKey, workoutEnjoyment),
      Json::write(workoutPerformanceKey, workoutPerformance),
      Json::write(injuryKey, injury),
      Json::write(missedKey, missed),
      Json::write(s3KeyKey, s3Key),
      Json::write(trainerKey, trainer),
      Json::write(deviceKey, device),
      Json::write(trainingSourceKey, trainingSource),
      Json::writeRecordList(heartratesKey, heartrates));
}

void WorkoutSDK::encode(platform::KeyedArchiver& coder) const {
  coder.encode(uuid, uuidKey);
  coder.encode(owner, ownerKey);
  coder.encode(duration, durationKey);
  coder.encode(date, dateKey);
  coder.encode(started, startedKey);
  coder.encode(finished, finishedKey);
  coder.encode(exactStarted, exactStartedKey);
  coder.encode(exactFinished, exactFinishedKey);
  if (imageChart) coder.encode(imageChart->pngData(), imageChartKey);
  coder.encode(notes, notesKey);
  coder.encode(imported, importedKey);
  coder.encode(type, typeKey);
  coder.encode(rpe, rpeKey);
  coder.encode(calories, caloriesKey);
  coder.encode(avgHr, avgHrKey);
  coder.encode(maxHr, maxHrKey);
  coder.encode(timeAbove90, timeAbove90Key);
  coder.encode(timeBelow100, timeBelow100Key);
  coder.encode(timeInZoneRecovery, timeInZoneRecoveryKey);
  coder.encode(timeInZoneTrain, timeInZoneTrainKey);
  coder.encode(timeInZoneOverload, timeInZoneOverloadKey);
  coder.encode(trainingThreshold, trainingThresholdKey);
  coder.encode(overloadThreshold, overloadThresholdKey);
  coder.encode(workoutEnjoyment, workoutEnjoymentKey);
  coder.encode(workoutPerformance, workoutPerformanceKey);
  coder.encode(injury, injuryKey);
  coder.encode(missed, missedKey);
  coder.encode(s3Key, s3KeyKey);
  coder.encode(trainer, trainerKey);
  coder.encode(device, deviceKey);
  coder.encode(trainingSource, trainingSourceKey);
  coder.encode(created_, createdKey);
  coder.encode(createdTimestamp, createdTimestampKey);
  coder.encode(modified_, modifiedKey);
  coder.encode(modifiedTimestamp, modifiedTimestampKey);
  coder.encode(timestamp_, timestampKey);
  coder.encode(timestampTimestamp, timestampTimestampKey);
  coder.encode(numberOfResumes, numberOfResumesKey);
}

WorkoutSDK::WorkoutSDK(const platform::KeyedUnarchiver& coder) : WorkoutSDK(Blank{}) {
  uuid = coder.decodeString(uuidKey);
  owner = coder.decodeInteger(ownerKey);
  duration = coder.decodeInteger(durationKey);
  date = coder.decodeString(dateKey);
  started = coder.decodeInteger(startedKey);
  finished = coder.decodeInteger(finishedKey);
  exactStarted = coder.decodeInteger(exactStartedKey);
  exactFinished = coder.decodeInteger(exactFinishedKey);
  if (auto png = coder.decodeData(imageChartKey)) imageChart = platform::Image::fromPNG(*png);
  notes = coder.decodeString(notesKey);
  imported = coder.decodeBool(importedKey);
  type = coder.decodeString(typeKey);
  rpe = coder.decodeInteger(rpeKey);
  calories = coder.decodeInteger(caloriesKey);
  avgHr = coder.decodeInteger(avgHrKey);
  maxHr = coder.decodeInteger(maxHrKey);
  timeAbove90 = coder.decodeInteger(timeAbove90Key);
  timeBelow100 = coder.decodeInteger(timeBelow100Key);
  timeInZoneRecovery = coder.decodeInteger(timeInZoneRecoveryKey);
  timeInZoneTrain = coder.decodeInteger(timeInZoneTrainKey);
  timeInZoneOverload = coder.decodeInteger(timeInZoneOverloadKey);
  trainingThreshold = coder.decodeInteger(trainingThresholdKey);
  overloadThreshold = coder.decodeInteger(overloadThresholdKey);
  workoutEnjoyment = coder.decodeInteger(workoutEnjoymentKey);
  workoutPerformance = coder.decodeInteger(workoutPerformanceKey);
  injury = coder.decodeInteger(injuryKey);
  missed = coder.decodeBool(missedKey);
  s3Key = coder.decodeString(s3KeyKey);
  trainer = coder.decodeString(trainerKey);
  device = coder.decodeString(deviceKey);
  trainingSource = coder.decodeString(trainingSourceKey);
  created_ = coder.decodeString(createdKey);
  createdTimestamp = coder.decodeDouble(createdTimestampKey);
  modified_ = coder.decodeString(modifiedKey);
  modifiedTimestamp = coder.decodeDouble(modifiedTimestampKey);
  timestamp_ = coder.decodeString(timestampKey);
  timestampTimestamp = coder.decodeDouble(timestampTimestampKey);
  numberOfResumes = coder.decodeInteger(numberOfResumesKey);
}

std::string WorkoutSDK::description() const {
  using describe::optional;
  return describe::MultiLine("workout")
      .field("uuid", optional(uuid))
      .field("owner", optional(owner))
      .field("duration", optional(duration))
      .field("date", optional(date))
      .field("started", optional(started))
      .field("finished", optional(finished))
      .field("exactStarted", optional(exactStarted))
      .field("exactFinished", optional(exactFinished))
      .field("imageChart", optional(imageChart, [](const platform::Image& image) { return image.description(); }))
      .field("notes", optional(notes))
      .field("imported", optional(imported))
      .field("type", optional(type))
      .field("calories", optional(calories))
      .field("maxHr", optional(maxHr))
      .field("timeAbove90", optional(timeAbove90))
      .field("timeBelow100", optional(timeBelow100))
      .field("timeInZoneRecovery", optional(timeInZoneRecovery))
      .field("timeInZoneTrain", optional(timeInZoneTrain))
      .field("timeInZoneOverload", optional(timeInZoneOverload))
      .field("trainingThreshold", optional(trainingThreshold))
      .field("overloadThreshold", optional(overloadThreshold))
      .field("workoutEnjoyment", optional(workoutEnjoyment))
      .field("workoutPerformance", optional(workoutPerformance))
      .field("rpe", optional(rpe))
      .field("device", optional(device))
      .field("trainingSource", optional(trainingSource))
      .field("created", optional(created_))
      .field("timestamp", optional(timestamp_))
      .field("numberOfResumes", optional(numberOfResumes))
      .text();
}

}  // namespace talvaren
