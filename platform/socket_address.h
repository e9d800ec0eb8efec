// Socket addresses, whose structures POSIX sockets and Windows Sockets share:
// the wildcard address a socket binds to, and the port a bound socket has.
// Any thread; touches no socket but the one it is given.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstdint>

namespace platform {

#ifdef _WIN32
using NativeSocket = SOCKET;
#else
using NativeSocket = int;
#endif

struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

// The wildcard ("any") address of `domain` (AF_INET or AF_INET6) at `port`.
SocketAddress WildcardAddress(int domain, std::uint16_t port);

// The port `socket` is bound to; 0 when the system cannot tell.
std::uint16_t BoundPort(NativeSocket socket);

}  // namespace platform
