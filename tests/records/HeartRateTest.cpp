#include <gtest/gtest.h>

#include "talvaren/records/HeartRate.hpp"

using namespace talvaren;

TEST(WorkoutTypeTest, RawValuesMatchExactly) {
  EXPECT_EQ(workoutTypeFromRawValue("cardio"), WorkoutType::cardio);
  EXPECT_EQ(workoutTypeFromRawValue("strength"), WorkoutType::strength);
  EXPECT_EQ(workoutTypeFromRawValue("mixed"), WorkoutType::mixed);
  for (const char* text : {"Cardio", "walk", "", "cardio ", "mixedx"}) {
    EXPECT_EQ(workoutTypeFromRawValue(text), std::nullopt) << text;
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
