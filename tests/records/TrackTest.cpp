#include <gtest/gtest.h>

#include <concepts>

#include "support/JsonText.hpp"
#include "talvaren/records/Track.hpp"

using namespace talvaren;

namespace {

using testkit::parsed;

}  // namespace

// The record has no ordering and no equality of its own.
static_assert(!std::equality_comparable<Track>);
static_assert(!std::totally_ordered<Track>);

TEST(Track, IdAndUserDefaultToZeroAndCreatedDerivesItsCompanion) {
  auto track = Track::fromJSON(parsed(R"({"created": "2020-01-01T00:00:00.000000+0000"})"));
  ASSERT_TRUE(track);
  EXPECT_EQ(track->id(), 0);
  EXPECT_EQ(track->user(), 0);
  EXPECT_EQ(track->createdTimestamp, 1577836800.0);
  EXPECT_EQ(track->toJSON(), parsed(R"({"id": 0, "user": 0, "created": "2020-01-01T00:00:00.000000+0000"})"));
  EXPECT_FALSE(Track::fromJSON(parsed(R"(["id"])")));
}

TEST(Track, RoundTripAndChangeableValues) {
  auto json = parsed(R"({"id": 4, "user": 7, "activity": "garmin_api", "calories": "fit_bit_api",
      "sleep": "apple_health_kit", "created": "x"})");
  auto track = Track::fromJSON(json);
  ASSERT_TRUE(track);
  EXPECT_EQ(track->activity(), "garmin_api");
  EXPECT_EQ(track->calories(), "fit_bit_api");
  EXPECT_EQ(track->createdTimestamp, std::nullopt);
  EXPECT_EQ(track->toJSON(), json);

  track->sleep = "garmin_api";
  track->setCreated("2020-01-01T00:00:00.000000+0000");
  EXPECT_EQ(track->createdTimestamp, 1577836800.0);
  track->setCreated(std::nullopt);
  EXPECT_EQ(track->createdTimestamp, 1577836800.0);
  EXPECT_EQ(track->toJSON(), parsed(R"({"id": 4, "user": 7, "activity": "garmin_api", "calories": "fit_bit_api",
      "sleep": "garmin_api"})"));

  auto mistyped = Track::fromJSON(parsed(R"({"id": "4", "user": 1.5, "sleep": 3})"));
  EXPECT_EQ(mistyped->toJSON(), parsed(R"({"id": 0, "user": 0})"));
}
