// Test helper: sends UDP datagrams to a port on the loopback address
// (127.0.0.1 or ::1) from a socket of its own, as a device would.
#pragma once

#include <cstdint>
#include <string_view>

#include "tests/support/test_sockets.h"

namespace testsupport {

enum class Loopback { IPv4, IPv6 };

// True when the whole payload was sent.
inline bool SendDatagram(std::uint16_t port, std::string_view payload, Loopback to = Loopback::IPv4) {
  sockaddr_storage address{};
  int length;
  if (to == Loopback::IPv4) {
    auto& v4 = reinterpret_cast<sockaddr_in&>(address);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof v4;
  } else {
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    v6.sin6_addr = in6addr_loopback;
    length = sizeof v6;
  }
  const TestSocket s = OpenTestSocket(address.ss_family, SOCK_DGRAM);
  if (s == kNoSocket) return false;
  const long long sent =
      sendto(s, payload.data(), static_cast<int>(payload.size()), 0, reinterpret_cast<sockaddr*>(&address), length);
  CloseTestSocket(s);
  return sent == static_cast<long long>(payload.size());
}

}  // namespace testsupport
