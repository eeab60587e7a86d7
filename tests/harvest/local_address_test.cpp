#include "harvest/local_address.h"

#include <gtest/gtest.h>

#include "fake_world.h"

namespace harvest {
namespace {

TEST(LocalAddress, IsTheLastAddressAndOfflineOnlyForLoopbackLast) {
  const std::pair<std::vector<std::string>, bool> cases[] = {
      {{"127.0.0.1"}, false},
      {{"192.168.1.20", "127.0.0.1"}, false},  // a real address earlier does not count
      {{"127.0.0.1", "192.168.1.20"}, true},
      {{"127.0.0.1", "10.0.0.2"}, true},
      {{"127.0.1.1"}, true},                   // only exactly 127.0.0.1 is offline
      {{}, true},                              // nothing found: empty, counts as connected
  };
  for (const auto& [addresses, connected] : cases) {
    fakes::FakeAddresses lookup;
    lookup.addresses = addresses;
    const std::string last = LocalAddress(lookup);
    EXPECT_EQ(last, addresses.empty() ? "" : addresses.back());
    EXPECT_EQ(IsConnected(last), connected);
  }
}

TEST(LocalAddress, AFailedLookupGivesTheEmptyTextAndCountsAsConnected) {
  fakes::FakeAddresses lookup;
  lookup.fail = true;
  EXPECT_EQ(LocalAddress(lookup), "");
  EXPECT_TRUE(IsConnected(LocalAddress(lookup)));
}

}  // namespace
}  // namespace harvest
