#include "talvaren/records/HRVScore.hpp"

namespace talvaren {

HRVScore::HRVScore(std::int64_t timestamp, std::int64_t score, std::string date, std::int64_t owner,
                   std::string device, std::int64_t averageHR)
    : device(std::move(device)),
      score_(score),
      timestamp_(timestamp),
      date_(std::move(date)),
      owner_(owner),
      averageHR_(averageHR) {}

std::optional<HRVScore> HRVScore::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  HRVScore score;
  Json::read(json, "score", score.score_);
  Json::read(json, "timestamp", score.timestamp_);
  Json::read(json, "device", score.device);
  Json::read(json, "average_hr", score.averageHR_);
  Json::read(json, "date", score.date_);
  Json::read(json, "owner", score.owner_);
  return score;
}

std::optional<JSON> HRVScore::toJSON() const {
  return Json::jsonify(
      Json::write("score", score_),
      Json::write("timestamp", timestamp_),
      Json::write("device", device),
      Json::write("owner", owner_),
      Json::write("average_hr", averageHR_),
      Json::write("date", date_));
}

}  // namespace talvaren
