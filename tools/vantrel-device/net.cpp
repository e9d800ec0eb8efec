// POSIX socket helpers of the demo device.
#include "tools/vantrel-device/net.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace device {

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = other.Release();
  }
  return *this;
}

int Fd::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void Fd::Reset() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

std::string AddressText(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

Fd ListenOnLoopback(uint16_t port, uint16_t& bound_port, std::string& error) {
  Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int on = 1;
  sockaddr_in address = LoopbackAddress(port);
  socklen_t length = sizeof address;
  if (!fd.Valid() || setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd.Get(), 4) != 0 ||
      getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    error = std::strerror(errno);
    return Fd();
  }
  bound_port = ntohs(address.sin_port);
  return fd;
}

void SendDatagramToLoopback(int udp_fd, uint16_t port, std::string_view payload) {
  const sockaddr_in address = LoopbackAddress(port);
  sendto(udp_fd, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

}  // namespace device
