#include "talvaren/records/HRRecovery.hpp"

namespace talvaren {

std::optional<HRRecovery> HRRecovery::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  HRRecovery sample;
  Json::read(json, "value", sample.value);
  Json::read(json, "timestamp", sample.timestamp);
  Json::read(json, "signal_strength", sample.signalStrength);
  Json::read(json, "rr", sample.rr);
  return sample;
}

std::optional<JSON> HRRecovery::toJSON() const {
  return Json::jsonify(
      Json::write("value", value),
      Json::write("timestamp", timestamp),
      Json::write("signal_strength", signalStrength),
      Json::write("rr", rr));
}

}  // namespace talvaren
