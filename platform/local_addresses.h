// The machine's own IPv4 unicast addresses, as the system lists them.
// Any thread may call this; it keeps no state.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Dotted-decimal IPv4 addresses in the system's order of network interfaces
// and, within an interface, of their addresses. Left out: loopback, down and
// receive-only interfaces, and addresses that are not in the preferred state
// (tentative, failed duplicate detection, deprecated). Empty when the system
// cannot be asked.
std::vector<std::string> LocalIPv4Addresses();

// "a.b.c.d" for four address bytes in network order.
std::string DottedDecimal(const unsigned char (&bytes)[4]);

}  // namespace platform
