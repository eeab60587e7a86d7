#include "harvest/local_address.h"

#include <exception>

namespace harvest {

std::string LocalAddress(AddressLookup& lookup) {
  try {
    const auto addresses = lookup.HostAddresses();
    return addresses.empty() ? std::string() : addresses.back();
  } catch (const std::exception&) {
    return {};  // a failed lookup lets the search start
  }
}

bool IsConnected(const std::string& localAddress) { return localAddress != "127.0.0.1"; }

}  // namespace harvest
