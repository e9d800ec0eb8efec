// POSIX implementation of platform/udp_socket.h: a datagram socket plus an
// eventfd that Wake() signals, both watched by poll().
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "platform/socket_address.h"
#include "platform/udp_socket.h"

namespace platform {

struct UdpSocket::Handles {
  int socket = -1;
  int wake = -1;
  ~Handles() {
    if (socket >= 0) close(socket);
    if (wake >= 0) close(wake);
  }
};

namespace {

[[noreturn]] void ThrowSystemError(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

UdpSocket::UdpSocket(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
UdpSocket::~UdpSocket() = default;

std::unique_ptr<UdpSocket> UdpSocket::Bind(IpFamily family, std::uint16_t port) {
  const std::string what = "UDP port " + std::to_string(port);
  auto handles = std::make_unique<Handles>();
  const int domain = family == IpFamily::IPv4 ? AF_INET : AF_INET6;
  handles->socket = socket(domain, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (handles->socket < 0) {
    if (errno == EAFNOSUPPORT || errno == EPROTONOSUPPORT) return nullptr;
    ThrowSystemError(errno, what);
  }
  if (family == IpFamily::IPv6) {
    const int only = 1;
    if (setsockopt(handles->socket, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only) != 0) ThrowSystemError(errno, what);
  }
  const SocketAddress address = WildcardAddress(domain, port);
  if (bind(handles->socket, address.get(), address.length) != 0) ThrowSystemError(errno, what);
  handles->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (handles->wake < 0) ThrowSystemError(errno, what);
  return std::unique_ptr<UdpSocket>(new UdpSocket(std::move(handles)));
}

std::uint16_t UdpSocket::Port() const { return BoundPort(handles_->socket); }

UdpSocket::WaitResult UdpSocket::WaitForData(int timeout_ms) {
  pollfd watched[2] = {{handles_->wake, POLLIN, 0}, {handles_->socket, POLLIN, 0}};
  const int ready = poll(watched, 2, timeout_ms);
  if (watched[0].revents != 0) return WaitResult::Woken;
  if (ready > 0) return WaitResult::Readable;
  return WaitResult::TimedOut;  // also an interrupted wait: the caller waits again
}

std::optional<std::size_t> UdpSocket::Receive(std::span<std::uint8_t> buffer) {
  iovec part{buffer.data(), buffer.size()};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  const ssize_t received = recvmsg(handles_->socket, &message, MSG_DONTWAIT);
  if (received < 0 || (message.msg_flags & MSG_TRUNC)) return std::nullopt;
  return static_cast<std::size_t>(received);
}

void UdpSocket::Wake() {
  const eventfd_t one = 1;
  (void)!write(handles_->wake, &one, sizeof one);
}

}  // namespace platform
