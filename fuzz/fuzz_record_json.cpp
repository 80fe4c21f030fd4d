// Feeds arbitrary text to the JSON reader and the server records. Whatever reads must write back
// and print without failing, a record's written form must read back to the same form, and the
// element-by-element array road must agree with the whole tree.
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
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto json = Json::parse(text);
  // Element by element, an array text gives the records the whole tree gives, and writes the same text.
  auto byElement = Json::decodeArray<HeartrateSDK>(text);
  auto byTree = json ? Json::fromJSONArray<HeartrateSDK>(*json) : std::nullopt;
  if (byElement.has_value() != byTree.has_value()) std::abort();
  if (byTree && Json::dumpArray(*byElement) != Json::dump(*Json::toJSONArray(*byTree))) std::abort();
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
