// Feeds arbitrary bytes to the Garmin connector as one day's reply of each kind: decoding, the fold into
// records and the end of the chain. Whatever arrives, the chain completes once, with at most one record
// per day text, each marked as imported from Garmin, and every summary that decodes describes itself and
// writes back to a form that reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "../src/importers/ConnectorMocks.hpp"

using namespace talvaren;

namespace {

/// Answers every request with the fuzzed reply, before returning.
class ReplayConnector : public GarminConnectorMock {
 public:
  std::optional<JSON> reply;
  void performAPICall(HTTPMethod, const std::string&, const std::optional<Parameters>&, ParameterEncoding, bool,
                      Completion completion) override {
    completion(std::nullopt, reply);
  }
};

template <class Summary>
void checkSummaries(const JSON& json) {
  const auto summaries = Json::fromJSONArray<Summary>(json);
  if (!summaries) return;
  for (const auto& summary : *summaries) {
    if (summary.description().empty()) std::abort();
    const auto written = summary.toJSON();
    if (!written || Summary::fromJSON(*written)->toJSON() != written) std::abort();
  }
}

template <class Record>
void checkRecords(const GarminConnector::Records& records) {
  const auto* list = std::get_if<std::vector<Record>>(&records);
  if (list == nullptr) std::abort();
  std::set<std::string> days;
  for (const auto& record : *list) {
    if (!record.date || !days.insert(*record.date).second || record.externalProvider != "garmin_api") std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto connector = std::make_shared<ReplayConnector>();
  connector->reply = Json::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (connector->reply) {
    checkSummaries<GarminActivity>(*connector->reply);
    checkSummaries<GarminSleep>(*connector->reply);
  }
  for (auto kind : {GarminImportKind::activity, GarminImportKind::calories, GarminImportKind::sleep}) {
    int calls = 0;
    auto completion = [&](std::optional<Error> error, std::optional<GarminConnector::Records> records) {
      ++calls;
      if (error) std::abort();
      if (!records) return;
      if (kind == GarminImportKind::activity) checkRecords<ActivitySDK>(*records);
      if (kind == GarminImportKind::calories) checkRecords<CaloriesSDK>(*records);
      if (kind == GarminImportKind::sleep) checkRecords<SleepSDK>(*records);
    };
    // A table of today alone: one reply, then the end of the chain.
    connector->prepareForCall(Date::now());
    if (kind == GarminImportKind::activity) connector->getActivityByDate(Date(), completion);
    if (kind == GarminImportKind::calories) connector->getCaloriesByDate(Date(), completion);
    if (kind == GarminImportKind::sleep) connector->getSleepByDate(Date(), completion);
    if (calls != 1) std::abort();
  }
  return 0;
}
