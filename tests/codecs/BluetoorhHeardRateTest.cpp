#include <gtest/gtest.h>

#include "talvaren/codecs/BluetoorhHeardRate.hpp"

using namespace talvaren;

namespace {

struct Decoded {
  HeartRateAndSignal heartRate;
  std::size_t offset;
  std::vector<std::int64_t> rr;
};

Decoded decode(const Bytes& value) {
  auto offset = BluetoorhHeardRate::getOffset(value);
  return {BluetoorhHeardRate::getHeartRateAndSignal(value), offset,
          BluetoorhHeardRate::updateRRIntervarls(value, offset)};
}

using RR = std::vector<std::int64_t>;

}  // namespace

TEST(BluetoorhHeardRateTest, DecodesTheFieldsTheFlagsAnnounce) {
  auto plain = decode({0x00, 0x48});
  EXPECT_EQ(plain.heartRate, (HeartRateAndSignal{72, 30}));
  EXPECT_EQ(plain.offset, 2u);
  EXPECT_TRUE(plain.rr.empty());

  EXPECT_EQ(decode({0x01, 0x2C, 0x01}).heartRate.bmp, 300);
  EXPECT_EQ(decode({0x01, 0xFF, 0xFF}).heartRate.bmp, 65535);

  auto withRR = decode({0x10, 0x48, 0x00, 0x04});
  EXPECT_EQ(withRR.offset, 2u);
  EXPECT_EQ(withRR.rr, RR{1000});

  auto withEnergy = decode({0x18, 0x48, 0x0A, 0x00, 0x00, 0x04});
  EXPECT_EQ(withEnergy.offset, 4u);
  EXPECT_EQ(withEnergy.rr, RR{1000});

  auto wideWithEnergy = decode({0x19, 0x2C, 0x01, 0x0A, 0x00, 0x00, 0x02});
  EXPECT_EQ(wideWithEnergy.heartRate.bmp, 300);
  EXPECT_EQ(wideWithEnergy.offset, 5u);
  EXPECT_EQ(wideWithEnergy.rr, RR{500});

  // Several intervals keep their order; bit 4 is not consulted.
  EXPECT_EQ(decode({0x00, 0x48, 0x00, 0x04, 0x00, 0x02}).rr, (RR{1000, 500}));
}

TEST(BluetoorhHeardRateTest, SignalComesFromFlagBitsFiveToSeven) {
  const std::pair<std::uint8_t, std::int64_t> cases[] = {
      {0x00, 30}, {0x20, 40}, {0x40, 50}, {0x60, 60}, {0x80, 70}, {0xA0, 80}, {0xC0, 90}, {0xE0, 100},
      {0x1F, 30}, {0xFF, 100}};
  for (auto [flags, signal] : cases) {
    EXPECT_EQ(BluetoorhHeardRate::getHeartRateAndSignal({flags, 0x48, 0x00}).signal, signal) << int(flags);
  }
}

TEST(BluetoorhHeardRateTest, RRIntervalsTruncateTowardZero) {
  auto rr = [](std::uint8_t lo, std::uint8_t hi) {
    return BluetoorhHeardRate::updateRRIntervarls({lo, hi}, 0);
  };
  EXPECT_EQ(rr(0x00, 0x00), RR{0});
  EXPECT_EQ(rr(0x01, 0x00), RR{0});
  EXPECT_EQ(rr(0xFF, 0x03), RR{999});
  EXPECT_EQ(rr(0x01, 0x04), RR{1000});
  EXPECT_EQ(rr(0xFF, 0xFF), RR{63999});
  // A last odd byte is ignored.
  EXPECT_EQ(BluetoorhHeardRate::updateRRIntervarls({0x10, 0x48, 0x00, 0x04, 0x01}, 2), RR{1000});
}

TEST(BluetoorhHeardRateTest, ShortValuesAreNeverReadPastTheirEnd) {
  EXPECT_EQ(BluetoorhHeardRate::getHeartRateAndSignal({}), (HeartRateAndSignal{0, 30}));
  EXPECT_EQ(BluetoorhHeardRate::getOffset({}), 2u);
  EXPECT_EQ(BluetoorhHeardRate::getHeartRateAndSignal({0xE0}), (HeartRateAndSignal{0, 100}));
  // 16-bit format with its high byte missing.
  EXPECT_EQ(BluetoorhHeardRate::getHeartRateAndSignal({0x01, 0x2C}).bmp, 0x2C);
  EXPECT_EQ(BluetoorhHeardRate::getOffset({0x19}), 5u);

  // An offset at or past the end gives no intervals (the count must not wrap around).
  EXPECT_TRUE(BluetoorhHeardRate::updateRRIntervarls({}, 0).empty());
  EXPECT_TRUE(BluetoorhHeardRate::updateRRIntervarls({0x00, 0x48}, 2).empty());
  EXPECT_TRUE(BluetoorhHeardRate::updateRRIntervarls({0x19, 0x2C, 0x01}, 5).empty());
  EXPECT_TRUE(BluetoorhHeardRate::updateRRIntervarls({0x00, 0x48, 0x00}, 4).empty());
  EXPECT_TRUE(BluetoorhHeardRate::updateRRIntervarls({0x00, 0x48}, SIZE_MAX).empty());
  // The Kelo strap's own offset of 4 on a short value.
  EXPECT_TRUE(BluetoorhHeardRate::updateRRIntervarls({0x00, 0x48, 0x00}, 4).empty());
  EXPECT_EQ(BluetoorhHeardRate::updateRRIntervarls({0x00, 0x48, 0x00, 0x00, 0x00, 0x04}, 4), RR{1000});
}

TEST(BluetoorhHeardRateTest, AMeasurementAndItsAnnouncedIntervalsOnlyWhenTheValueCarriesThem) {
  using Measurement = std::optional<HeartRateAndSignal>;
  EXPECT_EQ(BluetoorhHeardRate::measurement({0xE0, 0x48}), (Measurement{{72, 100}}));
  EXPECT_EQ(BluetoorhHeardRate::measurement({0x01, 0x2C, 0x01}), (Measurement{{300, 30}}));
  EXPECT_EQ(BluetoorhHeardRate::measurement({}), std::nullopt);
  EXPECT_EQ(BluetoorhHeardRate::measurement({0x00}), std::nullopt);
  EXPECT_EQ(BluetoorhHeardRate::measurement({0x01, 0x2C}), std::nullopt);

  using Intervals = std::optional<RR>;
  EXPECT_EQ(BluetoorhHeardRate::announcedRRIntervals({0x16, 0x48, 0x20, 0x03}), (Intervals{{781}}));
  EXPECT_EQ(BluetoorhHeardRate::announcedRRIntervals({0x19, 0x2C, 0x01, 0x0A, 0x00, 0x00, 0x02}), (Intervals{{500}}));
  // bit 4 clear: intervals that stand in the value are not announced
  EXPECT_EQ(BluetoorhHeardRate::announcedRRIntervals({0x06, 0x48, 0x20, 0x03}), std::nullopt);
  // announced but cut off before the first whole interval
  EXPECT_EQ(BluetoorhHeardRate::announcedRRIntervals({0x10, 0x48, 0x20}), std::nullopt);
  EXPECT_EQ(BluetoorhHeardRate::announcedRRIntervals({0x18, 0x48, 0x00, 0x00, 0x20}), std::nullopt);
  EXPECT_EQ(BluetoorhHeardRate::announcedRRIntervals({}), std::nullopt);
}
