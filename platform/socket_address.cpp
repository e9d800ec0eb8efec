// Socket addresses on POSIX sockets and Windows Sockets (socket_address.h).
#include "platform/socket_address.h"

namespace platform {

SocketAddress WildcardAddress(int domain, std::uint16_t port) {
  SocketAddress address;
  if (domain == AF_INET) {
    auto& ipv4 = reinterpret_cast<sockaddr_in&>(address.storage);
    ipv4.sin_family = AF_INET;
    ipv4.sin_addr.s_addr = htonl(INADDR_ANY);
    ipv4.sin_port = htons(port);
    address.length = sizeof ipv4;
  } else {
    auto& ipv6 = reinterpret_cast<sockaddr_in6&>(address.storage);
    ipv6.sin6_family = AF_INET6;
    ipv6.sin6_addr = in6addr_any;
    ipv6.sin6_port = htons(port);
    address.length = sizeof ipv6;
  }
  return address;
}

std::uint16_t BoundPort(NativeSocket socket) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
}

}  // namespace platform
