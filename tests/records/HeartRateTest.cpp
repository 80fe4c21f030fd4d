#include <gtest/gtest.h>

#include "talvaren/records/HeartRate.hpp"

using namespace talvaren;

TEST(WorkoutTypeTest, RawValuesMatchExactly) {
  EXPECT_EQ(fromRawValue<WorkoutType>("cardio"), WorkoutType::cardio);
  EXPECT_EQ(fromRawValue<WorkoutType>("strength"), WorkoutType::strength);
  EXPECT_EQ(fromRawValue<WorkoutType>("mixed"), WorkoutType::mixed);
  for (const char* text : {"Cardio", "walk", "", "cardio ", "mixedx"}) {
    EXPECT_EQ(fromRawValue<WorkoutType>(text), std::nullopt) << text;
  }
  EXPECT_EQ(rawValue(WorkoutType::mixed), "mixed");
  EXPECT_EQ(rawValue(WorkoutType::strength), "strength");
}

TEST(HeartRateTest, BuiltFromBeatsAndDateHasNoType) {
  HeartRate sample(0, Date(10));
  EXPECT_EQ(sample.bmp, 0);
  EXPECT_EQ(sample.date, Date(10));
  EXPECT_EQ(sample.type, std::nullopt);
  EXPECT_EQ(HeartRate(65535, Date(0)).bmp, 65535);
}

TEST(HeartRateTest, DescriptionIsOneLineEndingInALineFeed) {
  EXPECT_EQ(HeartRate(72, Date(1577836800)).description(),
            "HeartRate: bmp = 72 timestamp = 1577836800.0 type = nil\n");
  EXPECT_EQ(HeartRate(0, Date(1577836800.25), WorkoutType::cardio).description(),
            "HeartRate: bmp = 0 timestamp = 1577836800.25 type = Optional(TalvarenKit.WorkoutType.cardio)\n");
  EXPECT_EQ(HeartRate(65535, Date(-2), WorkoutType::strength).description(),
            "HeartRate: bmp = 65535 timestamp = -2.0 type = Optional(TalvarenKit.WorkoutType.strength)\n");
  EXPECT_EQ(HeartRate(1, Date(0.1), WorkoutType::mixed).description(),
            "HeartRate: bmp = 1 timestamp = 0.1 type = Optional(TalvarenKit.WorkoutType.mixed)\n");
}

namespace {

std::optional<HeartRate> roundTrip(const HeartRate& sample) {
  const auto data = platform::KeyedArchiver::archivedData(sample);
  if (!data) return std::nullopt;
  const auto reader = platform::KeyedUnarchiver::fromData(*data);
  if (!reader) return std::nullopt;
  return HeartRate::decode(*reader);
}

platform::KeyedUnarchiver reader(std::initializer_list<std::pair<const char*, platform::ArchiveValue>> entries) {
  platform::ArchiveObject object;
  for (const auto& [key, value] : entries) object.set(key, value);
  return platform::KeyedUnarchiver(object);
}

}  // namespace

TEST(HeartRateArchiveTest, RoundTripKeepsBeatsDateAndType) {
  EXPECT_EQ(roundTrip(HeartRate(72, Date(1577836800.25))), HeartRate(72, Date(1577836800.25)));
  EXPECT_EQ(roundTrip(HeartRate(65535, Date(0), WorkoutType::cardio)), HeartRate(65535, Date(0), WorkoutType::cardio));
  EXPECT_EQ(roundTrip(HeartRate(0, Date(-5), WorkoutType::mixed)), HeartRate(0, Date(-5), WorkoutType::mixed));
}

TEST(HeartRateArchiveTest, EntriesAreWrittenInOrderWithANullType) {
  platform::KeyedArchiver archiver;
  HeartRate(80, Date(100)).encode(archiver);
  const auto& object = archiver.object();
  EXPECT_EQ(object.keys(), (std::vector<std::string>{"bmp", "date", "type"}));
  ASSERT_EQ(object.values().size(), 3u);
  EXPECT_EQ(object.values()[0].asInteger(), 80);
  EXPECT_EQ(object.values()[1].asDate(), Date(100));
  EXPECT_TRUE(object.values()[2].isNull());

  platform::KeyedArchiver typed;
  HeartRate(80, Date(100), WorkoutType::strength).encode(typed);
  ASSERT_NE(typed.object().find("type")->asText(), nullptr);
  EXPECT_EQ(*typed.object().find("type")->asText(), "strength");
}

TEST(HeartRateArchiveTest, UnknownTypeTextReadsAsNoType) {
  for (const char* text : {"Cardio", "walk", ""}) {
    const auto sample = HeartRate::decode(reader({{"bmp", 60}, {"date", Date(5)}, {"type", text}}));
    ASSERT_TRUE(sample.has_value());
    EXPECT_EQ(sample->type, std::nullopt) << text;
  }
  EXPECT_EQ(HeartRate::decode(reader({{"bmp", 60}, {"date", Date(5)}, {"type", 3}}))->type, std::nullopt);
  EXPECT_EQ(HeartRate::decode(reader({{"bmp", 60}, {"date", Date(5)}}))->type, std::nullopt);
}

TEST(HeartRateArchiveTest, BeatsOutOfRangeOrMissingDateGiveNoSample) {
  EXPECT_EQ(HeartRate::decode(reader({{"bmp", 65536}, {"date", Date(5)}})), std::nullopt);
  EXPECT_EQ(HeartRate::decode(reader({{"bmp", -1}, {"date", Date(5)}})), std::nullopt);
  EXPECT_EQ(HeartRate::decode(reader({{"bmp", "72"}, {"date", Date(5)}})), std::nullopt);
  EXPECT_EQ(HeartRate::decode(reader({{"bmp", 72}})), std::nullopt);
  EXPECT_EQ(HeartRate::decode(reader({{"bmp", 72}, {"date", 5}})), std::nullopt);
  // A missing "bmp" reads as 0, as the platform's integer read does.
  EXPECT_EQ(HeartRate::decode(reader({{"date", Date(5)}})), HeartRate(0, Date(5)));
}
