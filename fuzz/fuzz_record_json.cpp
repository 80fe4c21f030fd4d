// Feeds arbitrary text to the JSON reader and the server records. Whatever reads must write back
// and print without failing, and a record's written form must read back to the same form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/KeyedArchive.hpp"
#include "talvaren/records/CaloriesSDK.hpp"
#include "talvaren/records/HeartrateSDK.hpp"
#include "talvaren/records/WorkoutSDK.hpp"

using namespace talvaren;

namespace {

template <class R>
void roundTrip(const JSON& json) {
  auto record = R::fromJSON(json);
  if (!record) return;
  auto written = record->toJSON();
  if (!written) std::abort();
  auto again = R::fromJSON(*written);
  if (!again || again->toJSON() != written) std::abort();
  if (Json::dump(*written).empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto json = Json::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!json) return 0;
  roundTrip<CaloriesSDK>(*json);
  roundTrip<HeartrateSDK>(*json);
  roundTrip<WorkoutSDK>(*json);
  if (auto calories = CaloriesSDK::fromJSON(*json)) (void)calories->description();
  if (auto workout = WorkoutSDK::fromJSON(*json)) {
    (void)workout->description();
    auto archived = platform::KeyedArchiver::archivedData(*workout);
    if (archived) {
      auto coder = platform::KeyedUnarchiver::fromData(*archived);
      if (!coder || WorkoutSDK(*coder).description() != workout->description()) std::abort();
    }
  }
  (void)Json::fromJSONArray<HeartrateSDK>(*json);
  return 0;
}
