// Receiving UDP sockets of the operating system: a socket bound to the IPv4 or
// IPv6 any-address of one port (IPv6 sockets take IPv6 only, so both families
// can hold the same port), with no address sharing. One thread waits on and
// receives from a socket; any other thread may call Wake() to end that wait.
// The socket closes when the object goes, after its waiter has left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace platform {

enum class IpFamily { IPv4, IPv6 };

class UdpSocket {
 public:
  // The largest datagram received in full; a longer one is a failed receive.
  static constexpr std::size_t kMaxDatagram = 8192;

  // Binds a socket to the any-address of `family` on `port` (0: a free port
  // chosen by the system). Null when the system does not offer `family`.
  // Throws std::system_error when the port cannot be bound.
  static std::unique_ptr<UdpSocket> Bind(IpFamily family, std::uint16_t port);

  ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // The port the socket is bound to.
  std::uint16_t Port() const;

  enum class WaitResult { Readable, TimedOut, Woken };
  // Waits until a datagram can be received, `timeout_ms` pass, or Wake() was
  // called (then every later wait returns Woken at once, too).
  WaitResult WaitForData(int timeout_ms);

  // Receives one waiting datagram into `buffer` and returns its length;
  // nullopt when none was waiting, the receive failed, or the datagram was
  // longer than the buffer (its contents are then dropped).
  std::optional<std::size_t> Receive(std::span<std::uint8_t> buffer);

  // Ends the current and every later WaitForData. Thread-safe.
  void Wake();

  struct Handles;

 private:
  explicit UdpSocket(std::unique_ptr<Handles> handles);
  std::unique_ptr<Handles> handles_;
};

}  // namespace platform
