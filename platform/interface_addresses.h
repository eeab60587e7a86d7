#pragma once
// The host's addresses on Linux: the IPv4 addresses of the network
// interfaces that are up, in the kernel's order (loopback first). Looking up
// the host's own name says nothing here: Debian maps it to 127.0.1.1 whether a
// network is up or not, and containers to 127.0.0.1 even when connected. With
// the interfaces, the last address is "127.0.0.1" exactly when loopback is the
// only interface up.

#include "harvest/search_ports.h"

namespace platform {

class InterfaceAddresses final : public harvest::AddressLookup {
 public:
  std::vector<std::string> HostAddresses() override;
};

}  // namespace platform
