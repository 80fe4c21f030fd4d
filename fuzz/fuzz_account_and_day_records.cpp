// Feeds arbitrary text to the account records and the day, recovery and account-setting records.
// Whatever reads must write back and print without failing, and a written form must read back to
// the same form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "talvaren/api/User.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/records/ActivitySDK.hpp"
#include "talvaren/records/Device.hpp"
#include "talvaren/records/HRRecovery.hpp"
#include "talvaren/records/HRVScore.hpp"
#include "talvaren/records/PreferencesData.hpp"
#include "talvaren/records/RecoverySDK.hpp"
#include "talvaren/records/SleepSDK.hpp"
#include "talvaren/records/Track.hpp"

using namespace talvaren;

namespace {

template <class R>
void roundTrip(const JSON& json) {
  auto record = R::fromJSON(json);
  if (!record) return;
  auto written = record->toJSON();
  if (!written || !written->is_object()) std::abort();
  auto again = R::fromJSON(*written);
  if (!again || again->toJSON() != written) std::abort();
  if (Json::dump(*written, 2).empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto json = Json::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!json) return 0;
  roundTrip<User>(*json);
  roundTrip<UserProfile>(*json);
  roundTrip<RecoverySDK>(*json);
  roundTrip<SleepSDK>(*json);
  roundTrip<ActivitySDK>(*json);
  roundTrip<HRRecovery>(*json);
  roundTrip<HRVScore>(*json);
  roundTrip<Device>(*json);
  roundTrip<PreferencesData>(*json);
  roundTrip<Track>(*json);
  if (auto recovery = RecoverySDK::fromJSON(*json)) (void)recovery->description();
  if (auto sleep = SleepSDK::fromJSON(*json)) (void)sleep->description();
  if (auto activity = ActivitySDK::fromJSON(*json)) (void)activity->description();
  (void)Json::fromJSONArray<RecoverySDK>(*json);
  return 0;
}
