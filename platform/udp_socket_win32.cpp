// Win32 implementation of platform/udp_socket.h (Windows Sockets 2): the
// socket signals an event on FD_READ; Wake() sets a second event; both are
// watched by WSAWaitForMultipleEvents. Winsock is started once per process.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>
#include <system_error>

#include "platform/socket_address.h"
#include "platform/udp_socket.h"
#include "platform/winsock_win32.h"

namespace platform {

// `network` is set when a datagram arrives (FD_READ); `wake` by Wake().
struct UdpSocket::Handles : SocketWithEvents {};

namespace {

[[noreturn]] void ThrowSocketError(const std::string& what) { throw WinsockError(WSAGetLastError(), what); }

}  // namespace

UdpSocket::UdpSocket(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
UdpSocket::~UdpSocket() = default;

std::unique_ptr<UdpSocket> UdpSocket::Bind(IpFamily family, std::uint16_t port) {
  const std::string what = "UDP port " + std::to_string(port);
  if (!StartWinsock()) throw WinsockError(WSANOTINITIALISED, what);
  auto handles = std::make_unique<Handles>();
  const int domain = family == IpFamily::IPv4 ? AF_INET : AF_INET6;
  handles->socket = WSASocketW(domain, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (handles->socket == INVALID_SOCKET) {
    const int error = WSAGetLastError();
    if (error == WSAEAFNOSUPPORT || error == WSAEPROTONOSUPPORT) return nullptr;
    ThrowSocketError(what);
  }
  // Without this, another program could still bind the port with SO_REUSEADDR.
  const BOOL exclusive = TRUE;
  if (setsockopt(handles->socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof exclusive) != 0)
    ThrowSocketError(what);
  if (family == IpFamily::IPv6) {
    const DWORD only = 1;
    if (setsockopt(handles->socket, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&only), sizeof only) != 0)
      ThrowSocketError(what);
  }
  const SocketAddress address = WildcardAddress(domain, port);
  if (bind(handles->socket, address.get(), address.length) != 0) ThrowSocketError(what);
  handles->network = WSACreateEvent();
  handles->wake = WSACreateEvent();
  if (handles->network == WSA_INVALID_EVENT || handles->wake == WSA_INVALID_EVENT) ThrowSocketError(what);
  if (WSAEventSelect(handles->socket, handles->network, FD_READ) != 0) ThrowSocketError(what);
  return std::unique_ptr<UdpSocket>(new UdpSocket(std::move(handles)));
}

std::uint16_t UdpSocket::Port() const { return BoundPort(handles_->socket); }

UdpSocket::WaitResult UdpSocket::WaitForData(int timeout_ms) {
  const WSAEVENT watched[2] = {handles_->wake, handles_->network};
  const DWORD ready = WSAWaitForMultipleEvents(2, watched, FALSE, static_cast<DWORD>(timeout_ms), FALSE);
  if (ready == WSA_WAIT_EVENT_0) return WaitResult::Woken;
  if (ready == WSA_WAIT_EVENT_0 + 1) {
    // Resets the event; the next receive re-arms FD_READ while data remains.
    WSANETWORKEVENTS events;
    WSAEnumNetworkEvents(handles_->socket, handles_->network, &events);
    return WaitResult::Readable;
  }
  return WaitResult::TimedOut;
}

std::optional<std::size_t> UdpSocket::Receive(std::span<std::uint8_t> buffer) {
  // A datagram longer than the buffer fails with WSAEMSGSIZE; one that is
  // not there yet with WSAEWOULDBLOCK (the socket is non-blocking).
  const int received =
      recv(handles_->socket, reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0);
  if (received == SOCKET_ERROR) return std::nullopt;
  return static_cast<std::size_t>(received);
}

void UdpSocket::Wake() { WSASetEvent(handles_->wake); }

}  // namespace platform
