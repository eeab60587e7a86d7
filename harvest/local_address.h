#pragma once
// The network presence check: the host counts as offline exactly when the
// last of its addresses is the loopback address.

#include <string>

#include "harvest/search_ports.h"

namespace harvest {

// The last address of the host's list, or the empty text when the lookup
// fails or finds none.
std::string LocalAddress(AddressLookup& lookup);

// Connected unless the address is exactly "127.0.0.1"; an empty one counts
// as connected.
bool IsConnected(const std::string& localAddress);

}  // namespace harvest
