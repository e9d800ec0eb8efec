// A UDP port on 127.0.0.1 that nothing holds right now, for tests and
// benchmarks that must not use the product's fixed ports.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

// Binds the UDP socket `fd` to a port of 127.0.0.1 that the system picks;
// returns that port, or 0 when it could not be bound.
inline int BindToFreeLoopbackPort(int fd) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  return bound ? ntohs(address.sin_port) : 0;
}

// A port that was free a moment ago; 0 when no port could be had.
inline int FreeUdpPort() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return 0;
  const int port = BindToFreeLoopbackPort(fd);
  close(fd);
  return port;
}

}  // namespace testsupport
