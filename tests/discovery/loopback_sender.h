// Test helper: sends UDP datagrams to a port on the loopback address
// (127.0.0.1 or ::1) from a socket of its own, as a device would.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string_view>

namespace testsupport {

enum class Loopback { IPv4, IPv6 };

// True when the whole payload was sent.
inline bool SendDatagram(std::uint16_t port, std::string_view payload, Loopback to = Loopback::IPv4) {
  sockaddr_storage address{};
  socklen_t length;
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
  const int fd = socket(address.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const ssize_t sent = sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&address), length);
  close(fd);
  return sent == static_cast<ssize_t>(payload.size());
}

}  // namespace testsupport
