#include <gtest/gtest.h>

#include <concepts>

#include "support/JsonText.hpp"
#include "talvaren/records/PreferencesData.hpp"

using namespace talvaren;

namespace {

using testkit::parsed;

}  // namespace

// The record has no ordering and no equality of its own.
static_assert(!std::equality_comparable<PreferencesData>);
static_assert(!std::totally_ordered<PreferencesData>);

TEST(PreferencesData, BuiltPreferenceIsOfSectionApi) {
  PreferencesData preference("units", "p1", "metric");
  EXPECT_EQ(preference.toJSON(), parsed(R"({"section": "api", "name": "units", "identifier": "p1",
      "defaultValue": "none", "value": "metric"})"));
  preference.value = "imperial";
  EXPECT_EQ((*preference.toJSON())["value"], "imperial");
}

TEST(PreferencesData, ReadingNeedsAllFiveTexts) {
  auto json = parsed(R"({"section": "s", "name": "n", "identifier": "i", "defaultValue": "d", "value": "v"})");
  auto preference = PreferencesData::fromJSON(json);
  ASSERT_TRUE(preference);
  EXPECT_EQ(preference->section(), "s");
  EXPECT_EQ(preference->identifier(), "i");
  EXPECT_EQ(preference->defaultValue(), "d");
  EXPECT_EQ(preference->toJSON(), json);

  for (const char* key : {"section", "name", "identifier", "defaultValue", "value"}) {
    auto missing = json;
    missing.erase(key);
    EXPECT_FALSE(PreferencesData::fromJSON(missing)) << key;
    auto null = json;
    null[key] = nullptr;
    EXPECT_FALSE(PreferencesData::fromJSON(null)) << key;
  }
  auto number = json;
  number["value"] = 5;
  EXPECT_FALSE(PreferencesData::fromJSON(number));
  // The key is in mixed case; the snake-case spelling is not read.
  auto snake = json;
  snake.erase("defaultValue");
  snake["default_value"] = "d";
  EXPECT_FALSE(PreferencesData::fromJSON(snake));
}

TEST(PreferencesData, PreferencesTypeFromCode) {
  using Type = PreferencesData::PreferencesType;
  EXPECT_EQ(fromRawValue<Type>(0), Type::sleep);
  EXPECT_EQ(fromRawValue<Type>(1), Type::activity);
  EXPECT_EQ(fromRawValue<Type>(2), Type::calories);
  EXPECT_EQ(fromRawValue<Type>(3), std::nullopt);
  EXPECT_EQ(fromRawValue<Type>(-1), std::nullopt);
  EXPECT_EQ(rawValue(Type::calories), 2);
}
