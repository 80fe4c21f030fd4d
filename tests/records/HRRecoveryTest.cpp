#include <gtest/gtest.h>

#include "support/JsonText.hpp"
#include "talvaren/records/HRRecovery.hpp"

using namespace talvaren;

namespace {

using testkit::parsed;

HRRecovery at(std::optional<std::int64_t> timestamp) {
  HRRecovery sample;
  sample.timestamp = timestamp;
  return sample;
}

}  // namespace

TEST(HRRecovery, ReadsAndWritesTheFourKeys) {
  auto json = parsed(R"({"value": 120, "timestamp": 1577836800, "signal_strength": 3, "rr": [850, 870]})");
  auto sample = HRRecovery::fromJSON(json);
  ASSERT_TRUE(sample);
  EXPECT_EQ(sample->value, 120);
  EXPECT_EQ(sample->timestamp, 1577836800);
  EXPECT_EQ(sample->signalStrength, 3);
  EXPECT_EQ(sample->rr, (std::vector<std::int64_t>{850, 870}));
  EXPECT_EQ(sample->toJSON(), json);
}

TEST(HRRecovery, MistypedValuesStayAbsent) {
  auto mixed = HRRecovery::fromJSON(parsed(R"({"rr": [850, "x"], "value": "120", "timestamp": 7})"));
  ASSERT_TRUE(mixed);
  EXPECT_EQ(mixed->rr, std::nullopt);
  EXPECT_EQ(mixed->value, std::nullopt);
  EXPECT_EQ(mixed->timestamp, 7);
  auto empty = HRRecovery::fromJSON(JSON::object());
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->toJSON(), JSON::object());
  EXPECT_FALSE(HRRecovery::fromJSON(parsed("[]")));
  // An empty RR list is a present value and is written back.
  EXPECT_EQ(HRRecovery::fromJSON(parsed(R"({"rr": []})"))->toJSON(), parsed(R"({"rr": []})"));
}

TEST(HRRecovery, OrderedByTimestampWithAbsentValuesComparingFalse) {
  EXPECT_TRUE(at(1) < at(2));
  EXPECT_FALSE(at(2) < at(1));
  EXPECT_TRUE(at(2) == at(2));
  EXPECT_FALSE(at(std::nullopt) < at(1));
  EXPECT_FALSE(at(1) < at(std::nullopt));
  EXPECT_FALSE(at(1) == at(std::nullopt));
  EXPECT_FALSE(at(std::nullopt) == at(std::nullopt));
  EXPECT_TRUE(at(std::nullopt) <= at(1));
  // Signed comparison.
  EXPECT_TRUE(at(-5) < at(3));
}
