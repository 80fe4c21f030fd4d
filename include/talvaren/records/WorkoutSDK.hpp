#pragma once
// One workout as the server stores it, with its heart-rate samples, chart picture, keyed archive and
// multi-line text dump.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Image.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/KeyedArchive.hpp"
#include "talvaren/records/HeartrateSDK.hpp"
#include "talvaren/records/Record.hpp"

namespace talvaren {

/// JSON: every value under its snake_case key ("avg_hr", "time_bellow_100", "hr_data", ...).
/// "created", "modified" and "deleted" are read and never written; "timestamp" is both.
/// `exactStarted`, `exactFinished`, `imageChart`, `numberOfResumes` and the seconds companions live
/// only in the object and the archive. Ordered by `createdTimestamp`.
///
/// Starting values differ by origin: a new workout has `numberOfResumes` 0 and an empty `heartrates`
/// list; one read from JSON has `numberOfResumes` 0 and `heartrates` only when "hr_data" is a list of
/// samples; one read from an archive has whatever the archive holds and never `heartrates`.
class WorkoutSDK : public record::ServerDatesWithModified, public record::Ordered<WorkoutSDK> {
 public:
  std::optional<std::string> uuid;
  std::optional<std::int64_t> owner;
  std::optional<std::int64_t> duration;
  std::optional<std::string> date;
  std::optional<std::int64_t> started;
  std::optional<std::int64_t> finished;
  std::optional<std::int64_t> exactStarted;
  std::optional<std::int64_t> exactFinished;
  /// The workout's chart picture; archived as PNG.
  std::optional<platform::Image> imageChart;
  std::optional<std::string> notes;
  std::optional<bool> imported;
  std::optional<std::string> type;
  std::optional<std::int64_t> rpe;
  std::optional<std::int64_t> calories;
  std::optional<std::int64_t> avgHr;
  std::optional<std::int64_t> maxHr;
  std::optional<std::int64_t> timeAbove90;
  std::optional<std::int64_t> timeBelow100;
  std::optional<std::int64_t> timeInZoneRecovery;
  std::optional<std::int64_t> timeInZoneTrain;
  std::optional<std::int64_t> timeInZoneOverload;
  std::optional<std::int64_t> trainingThreshold;
  std::optional<std::int64_t> overloadThreshold;
  std::optional<std::int64_t> workoutEnjoyment;
  std::optional<std::int64_t> workoutPerformance;
  std::optional<std::int64_t> injury;
  std::optional<bool> missed;
  std::optional<std::string> s3Key;
  std::optional<std::string> trainer;
  std::optional<std::string> trainingSource;
  std::optional<std::string> device;
  std::optional<std::int64_t> deleted;
  std::optional<std::int64_t> numberOfResumes = 0;
  /// The workout's heart-rate samples ("hr_data").
  std::optional<std::vector<HeartrateSDK>> heartrates = std::vector<HeartrateSDK>{};

  /// Every value absent except `numberOfResumes` 0 and an empty `heartrates` list.
  WorkoutSDK() = default;
  /// Reads the archive's entries; an entry that is missing, null or of another kind leaves its value
  /// absent. Always gives a workout; the companions take the archived values.
  explicit WorkoutSDK(const platform::KeyedUnarchiver& coder);

  /// Always a workout for a JSON object (see the class comment for the starting values).
  static std::optional<WorkoutSDK> fromJSON(const JSON& json);
  std::optional<JSON> toJSON() const;
  /// Writes every archived entry, absent values as null entries; "imageChart" only with a picture.
  void encode(platform::KeyedArchiver& coder) const;
  /// "workout: \n" and one padded line per shown value, each ending in a line feed.
  std::string description() const;

  std::optional<double> orderingValue() const { return createdTimestamp; }

 private:
  struct Blank {};
  explicit WorkoutSDK(Blank);

};

}  // namespace talvaren
