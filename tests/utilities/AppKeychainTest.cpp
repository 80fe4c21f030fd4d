#include <gtest/gtest.h>

#include "talvaren/testing/Storage.hpp"
#include "talvaren/utilities/AppKeychain.hpp"

using namespace talvaren;

TEST(AppKeychain, ItemsOfTwoServicesAreKeptApart) {
  testkit::TemporaryAppHome home;
  auto holder = AppKeychain::sharedInstance();
  EXPECT_EQ(AppKeychain::sharedInstance(), holder);
  const auto& kit = holder->keychain();
  EXPECT_EQ(kit.service(), "SarvikDesign.TalvarenIOS");
  platform::Keychain tests("SarvikDesign.Tests");

  ASSERT_FALSE(kit.set("kit-token", "ConnectorToken"));
  ASSERT_FALSE(tests.set("test-token", "ConnectorToken"));
  ASSERT_FALSE(kit.set(Bytes{1, 2, 3}, "ConnectorAPI"));
  EXPECT_EQ(kit.getString("ConnectorToken"), "kit-token");
  EXPECT_EQ(tests.getString("ConnectorToken"), "test-token");
  EXPECT_EQ(tests.getData("ConnectorAPI"), std::nullopt);

  ASSERT_FALSE(tests.remove("ConnectorToken"));
  EXPECT_EQ(kit.getString("ConnectorToken"), "kit-token");
  // Another holder of the same service sees the same items.
  EXPECT_EQ(platform::Keychain("SarvikDesign.TalvarenIOS").getData("ConnectorAPI"), (Bytes{1, 2, 3}));
}
