#include <gtest/gtest.h>

#include "support/JsonText.hpp"
#include "talvaren/api/User.hpp"

using namespace talvaren;

namespace {

using testkit::parsed;

const char* fullUser = R"({"pk": 42, "username": "jo", "email": "jo@example.com", "first_name": "Jo",
    "last_name": "Doe", "profile": {"gender": "f", "body_weight": "72,5", "height": "170", "max_hr": 190,
    "has_band": false, "mugshot": "photo.png", "date_joined": "2020-01-01"},
    "preferences": {"units": {"section": "api", "name": "units", "identifier": "p1", "defaultValue": "none",
    "value": "metric"}}})";

}  // namespace

TEST(User, NoUserWithoutFirstNameAndTheStoresStay) {
  User::setEmailStore("kept@example.com");
  User::setPkStore(5);
  EXPECT_FALSE(User::fromJSON(parsed(R"({"pk": 1, "email": "a@b.c"})")));
  EXPECT_FALSE(User::fromJSON(parsed(R"({"first_name": 7})")));
  EXPECT_FALSE(User::fromJSON(parsed(R"(["first_name"])")));
  EXPECT_EQ(User::emailStore(), "kept@example.com");
  EXPECT_EQ(User::pkStore(), 5);

  auto onlyName = User::fromJSON(parsed(R"({"first_name": "Jo"})"));
  ASSERT_TRUE(onlyName);
  EXPECT_EQ(onlyName->firstName, "Jo");
  EXPECT_EQ(onlyName->toJSON(), parsed(R"({"first_name": "Jo"})"));
  EXPECT_EQ(User::emailStore(), std::nullopt);
  EXPECT_EQ(User::pkStore(), std::nullopt);
}

TEST(User, RoundTripTurnsMeasureCommasIntoPoints) {
  auto user = User::fromJSON(parsed(fullUser));
  ASSERT_TRUE(user);
  EXPECT_EQ(User::emailStore(), "jo@example.com");
  EXPECT_EQ(User::pkStore(), 42);
  ASSERT_TRUE(user->profile);
  EXPECT_EQ(user->profile->weight, "72,5");
  ASSERT_TRUE(user->preferences);
  EXPECT_EQ(user->preferences->at("units").identifier(), "p1");

  auto expected = parsed(fullUser);
  expected["profile"]["body_weight"] = "72.5";
  EXPECT_EQ(user->toJSON(), expected);
  // The value itself keeps its comma.
  EXPECT_EQ(user->profile->weight, "72,5");
}

TEST(User, PasswordAndMistypedValuesAreNotWritten) {
  auto user = User::fromJSON(parsed(R"({"first_name": "Jo", "pk": "42", "password": "secret",
      "profile": "none", "preferences": {"units": {"name": "units"}}})"));
  ASSERT_TRUE(user);
  EXPECT_EQ(user->pk, std::nullopt);
  EXPECT_EQ(user->password, std::nullopt);
  EXPECT_EQ(user->profile, std::nullopt);
  EXPECT_EQ(user->preferences, std::nullopt);
  user->password = "secret";
  EXPECT_EQ(user->toJSON(), parsed(R"({"first_name": "Jo"})"));

  User named("Jo", "Doe", "https://example.com/p.png");
  EXPECT_EQ(named.toJSON(), parsed(R"({"first_name": "Jo", "last_name": "Doe"})"));
  EXPECT_EQ(User().toJSON(), JSON::object());
}

TEST(UserProfile, ReadsEveryKeyByKind) {
  auto json = parsed(R"({"gender": "m", "units": "metric", "mugshot": "m.png", "sex": "m", "birthday": "1990-01-01",
      "timezone": "Europe/Berlin", "max_hr": 190, "experience": 2, "frequency": 3, "goal": "g", "sport": "run",
      "body_weight": "80.5", "height": "180", "fitness": 4, "anaerobic": 5, "has_band": true,
      "last_active": "2020-01-01", "date_joined": "2019-01-01", "display": "Jo", "kelo_id": "K1", "ant_id": "A1",
      "class_device_id": "C1"})");
  auto profile = UserProfile::fromJSON(json);
  ASSERT_TRUE(profile);
  EXPECT_EQ(profile->displayName, "Jo");
  EXPECT_EQ(profile->joinDate, "2019-01-01");
  EXPECT_EQ(profile->hasBand, true);
  EXPECT_EQ(profile->toJSON(), json);

  auto mistyped = UserProfile::fromJSON(parsed(R"({"body_weight": 80.5, "max_hr": "190", "has_band": 1,
      "height": "1,80"})"));
  ASSERT_TRUE(mistyped);
  EXPECT_EQ(mistyped->weight, std::nullopt);
  EXPECT_EQ(mistyped->maxHr, std::nullopt);
  EXPECT_EQ(mistyped->hasBand, std::nullopt);
  EXPECT_EQ(mistyped->toJSON(), parsed(R"({"height": "1.80"})"));
}

TEST(UserProfile, BandFlagAndPhotoOnlyWhenPresent) {
  UserProfile profile;
  EXPECT_EQ(profile.toJSON(), JSON::object());
  profile.hasBand = false;
  profile.mugshot = "";
  EXPECT_EQ(profile.toJSON(), parsed(R"({"has_band": false, "mugshot": ""})"));
  EXPECT_FALSE(Encoder::addImage("mugshot", std::nullopt));
}
