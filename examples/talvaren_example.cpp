// An example host program: shows the kit at work without a radio or a server.
#include <cstdio>
#include <fstream>
#include <string>

#include "talvaren/codecs/BluetoorhHeardRate.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/utilities/DataExtensions.hpp"

namespace {

// Decodes a recorded sequence of Heart Rate Measurement notifications, one hex value per line
// ("#" starts a comment), the way the Bluetooth link does for every live notification.
void decodeHeartRateNotifications(const std::string& path) {
  std::ifstream file(path);
  if (!file) {
    std::printf("Cannot open %s\n", path.c_str());
    return;
  }
  std::printf("Heart-rate notifications from %s\n", path.c_str());
  std::string line;
  while (std::getline(file, line)) {
    if (const auto end = line.find_last_not_of(" \t\r"); end != std::string::npos) {
      line.erase(end + 1);
    } else {
      continue;
    }
    if (line.front() == '#') continue;
    const auto value = talvaren::dataFromHexEncodedString(line);
    if (!value) {
      std::printf("  %s: not a hex value\n", line.c_str());
      continue;
    }
    const auto heartRate = talvaren::BluetoorhHeardRate::getHeartRateAndSignal(*value);
    const auto offset = talvaren::BluetoorhHeardRate::getOffset(*value);
    std::string rr;
    for (auto ms : talvaren::BluetoorhHeardRate::updateRRIntervarls(*value, offset)) {
      if (!rr.empty()) rr += ", ";
      rr += std::to_string(ms) + " ms";
    }
    std::printf("  %-16s bpm %u, signal %lld, RR [%s]\n", line.c_str(), static_cast<unsigned>(heartRate.bmp),
                static_cast<long long>(heartRate.signal), rr.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("TalvarenKit example host\n");
  std::printf("Now: %s\n", talvaren::Date::now().description().c_str());
  decodeHeartRateNotifications(argc > 1 ? argv[1] : TALVAREN_EXAMPLES_DIR "/heart_rate_notifications.hex");
  return 0;
}
