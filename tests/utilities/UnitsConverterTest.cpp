#include <gtest/gtest.h>

#include "talvaren/utilities/UnitsConverter.hpp"

using namespace talvaren;

using Pair = std::vector<std::string>;

TEST(UnitsConverter, Weights) {
  EXPECT_EQ(UnitsConverter::weightToKg("100"), "45.36");
  EXPECT_EQ(UnitsConverter::weightToLbs("45.36"), "100.00");
  EXPECT_EQ(UnitsConverter::weightToKg("-10"), "-4.54");
  EXPECT_EQ(UnitsConverter::weightToKg("+1e2"), "45.36");
  EXPECT_EQ(UnitsConverter::weightToKg("1e400"), "inf");
}

TEST(UnitsConverter, Heights) {
  EXPECT_EQ(UnitsConverter::heightToCm("5", "11"), "180.34");
  EXPECT_EQ(UnitsConverter::heightToCm("5", ""), "0.00");
  EXPECT_EQ(UnitsConverter::heightToCm("", "11"), "0.00");
  EXPECT_EQ(UnitsConverter::heightToCm("70"), "177.80");
  EXPECT_EQ(UnitsConverter::heightToIn("177.8"), "70.00");
  EXPECT_EQ(UnitsConverter::heightToFtIn("180"), (Pair{"5", "10.87"}));
  EXPECT_EQ(UnitsConverter::heightToFtIn("30"), (Pair{"0", "11.81"}));
  EXPECT_EQ(UnitsConverter::heightToFtIn("abc"), (Pair{"0", "0.00"}));
  // Feet are cut toward zero, also below zero.
  EXPECT_EQ(UnitsConverter::heightToFtIn("-40"), (Pair{"-1", "-3.75"}));
}

TEST(UnitsConverter, OnlyWholeTextsInTheCLocaleAreNumbers) {
  for (const char* text : {" 100", "100 ", "1,5", "", "1.5x", "1 000", "\t1", "--1", "0x"}) {
    EXPECT_EQ(UnitsConverter::weightToKg(text), "0.00") << '"' << text << '"';
  }
  EXPECT_EQ(UnitsConverter::weightToKg(std::string("1\0" "2", 3)), "0.00");
}

TEST(UnitsConverter, FeetThatAreNoIntegerGiveTheDefaultPair) {
  for (const char* text : {"inf", "-inf", "nan", "1e300", "-1e300", "1e400"}) {
    EXPECT_EQ(UnitsConverter::heightToFtIn(text), (Pair{"0", "0.00"})) << text;
  }
  // The largest feet that still fit are converted.
  auto largest = UnitsConverter::heightToFtIn("2.8e20");
  EXPECT_EQ(largest[0], "9186351706036745216");
}

TEST(UnitsConverter, MetersToMilesInSinglePrecision) {
  float miles = UnitsConverter::metersToMiles(1609.344f);
  EXPECT_EQ(miles, 1609.344f * 0.00062137f);
  EXPECT_NE(miles, 1.0f);
  EXPECT_NEAR(miles, 0.999998f, 1e-6f);
  EXPECT_EQ(UnitsConverter::metersToMiles(0.0f), 0.0f);
}
