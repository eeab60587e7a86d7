#include "platform/interface_addresses.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "../harvest/child_process.h"
#include "harvest/local_address.h"

namespace platform {
namespace {

TEST(InterfaceAddresses, ThisMachineWithANetworkCountsAsConnected) {
  InterfaceAddresses lookup;
  const auto addresses = lookup.HostAddresses();
  ASSERT_FALSE(addresses.empty());
  EXPECT_EQ(addresses.front(), "127.0.0.1");  // loopback comes first
  if (addresses.size() == 1) GTEST_SKIP() << "only loopback is up on this machine";
  EXPECT_NE(harvest::LocalAddress(lookup), "127.0.0.1");
  EXPECT_TRUE(harvest::IsConnected(harvest::LocalAddress(lookup)));
}

// Brings the loopback interface of the current network namespace up.
bool LoopbackUp() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  ::close(fd);
  return ok;
}

TEST(InterfaceAddresses, OnlyLoopbackUpCountsAsNotConnected) {
  // A child in a network namespace of its own, where loopback is the only
  // interface there is.
  const int status = RunWithFileSizeLimit(RLIM_INFINITY, [] {
    if (::unshare(CLONE_NEWNET) != 0) return 77;
    if (!LoopbackUp()) return 78;
    InterfaceAddresses lookup;
    if (lookup.HostAddresses() != std::vector<std::string>{"127.0.0.1"}) return 1;
    return harvest::IsConnected(harvest::LocalAddress(lookup)) ? 2 : 0;
  });
  if (status == 77 || status == 78) GTEST_SKIP() << "no private network namespace here";
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace platform
