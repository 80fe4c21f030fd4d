#include <gtest/gtest.h>

#include <unordered_set>

#include "talvaren/codecs/BluetoothModeKelo.hpp"
#include "talvaren/codecs/BluetoothStateKelo.hpp"
#include "talvaren/codecs/ErrorBluetooth.hpp"
#include "talvaren/codecs/SportModeType.hpp"

using namespace talvaren;

namespace {

/// Every byte maps to at most one case, each case's byte maps back to it, and exactly the listed
/// bytes have a case.
template <class E, std::size_t N>
void expectExactTable(const std::array<E, N>& cases, std::initializer_list<int> bytes) {
  std::unordered_set<int> listed(bytes);
  int found = 0;
  for (int byte = 0; byte < 256; ++byte) {
    auto value = fromRawValue<E>(static_cast<std::uint8_t>(byte));
    EXPECT_EQ(value.has_value(), listed.count(byte) == 1) << byte;
    if (value) {
      EXPECT_EQ(rawValue(*value), byte);
      ++found;
    }
  }
  EXPECT_EQ(found, static_cast<int>(N));
  for (auto value : cases) EXPECT_EQ(fromRawValue<E>(rawValue(value)), value);
}

}  // namespace

TEST(StrapCodesTest, OneByteCodesMatchTheirTables) {
  expectExactTable(SportModeTypeAllCases, {0, 1, 2, 5, 0xFD, 0xFE, 0xFF, 0xC8});
  expectExactTable(BluetoothStateKeloAllCases, {0, 1, 2, 3, 4, 5, 6, 0x10});
  expectExactTable(BluetoothModeKeloAllCases, {0x0C, 0x0D, 0x0E, 0x0F, 0x10});

  EXPECT_EQ(fromRawValue<BluetoothStateKelo>(7), std::nullopt);
  EXPECT_EQ(fromRawValue<BluetoothStateKelo>(0x10), BluetoothStateKelo::success);
  EXPECT_EQ(fromRawValue<SportModeType>(3), std::nullopt);
  EXPECT_EQ(fromRawValue<SportModeType>(0xC8), SportModeType::multiModeSperator);
  EXPECT_EQ(fromRawValue<BluetoothModeKelo>(0x0B), std::nullopt);
  EXPECT_EQ(rawValue(SportModeType::heartRate), 0);
  EXPECT_EQ(rawValue(BluetoothModeKelo::synch), 0x10);
}

TEST(StrapCodesTest, ModeAndStateCasesPrintTheirNames) {
  // The mode-and-state reply is logged with these names ("mode = zone state = success").
  const std::pair<std::uint8_t, std::string_view> modes[] = {
      {0x0C, "zone"}, {0x0D, "test"}, {0x0E, "setTime"}, {0x0F, "getTime"}, {0x10, "synch"}};
  for (auto [byte, name] : modes) EXPECT_EQ(caseName(*fromRawValue<BluetoothModeKelo>(byte)), name);
  const std::pair<std::uint8_t, std::string_view> states[] = {
      {0, "unknow"},     {1, "testMode"},  {2, "trainMode"}, {3, "syncMode"},
      {4, "timeNotSet"}, {5, "notFindHR"}, {6, "timeMode"},  {0x10, "success"}};
  for (auto [byte, name] : states) EXPECT_EQ(caseName(*fromRawValue<BluetoothStateKelo>(byte)), name);
}

TEST(StrapCodesTest, ErrorsBridgeWithTheirPositionAsCode) {
  const Error first = toError(ErrorBluetooth::characteristicValue);
  EXPECT_EQ(first.domain, "TalvarenKit.ErrorBluetooth");
  EXPECT_EQ(first.code, 0);
  EXPECT_EQ(toError(ErrorBluetooth::unknownLastDevice).code, 1);
  EXPECT_EQ(first.localizedDescription(), "The operation couldn’t be completed. (TalvarenKit.ErrorBluetooth error 0.)");
  EXPECT_NE(first, toError(ErrorBluetooth::unknownLastDevice));
}
