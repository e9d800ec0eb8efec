// POSIX socket helpers of the demo device: an owning descriptor, the loopback
// TCP listener and the loopback announcement sender. Used on the main thread.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace device {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Reset(); }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release();
  void Reset();

 private:
  int fd_ = -1;
};

// 127.0.0.1:port in network byte order.
sockaddr_in LoopbackAddress(uint16_t port);

// "a.b.c.d" of an IPv4 address given in network byte order.
std::string AddressText(in_addr address);

// A TCP socket listening on 127.0.0.1:port (0: any free port); `bound_port`
// receives the port it got. Invalid on failure, with `error` set.
Fd ListenOnLoopback(uint16_t port, uint16_t& bound_port, std::string& error);

// Sends the datagram to 127.0.0.1:port. Failures (nobody listening) are
// expected and ignored.
void SendDatagramToLoopback(int udp_fd, uint16_t port, std::string_view payload);

// Writes all bytes; false when the connection failed.
bool SendAll(int fd, std::string_view bytes);

}  // namespace device
