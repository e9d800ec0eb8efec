// Win32 implementation of platform/udp_socket.h (Windows Sockets 2): the
// socket signals an event on FD_READ; Wake() sets a second event; both are
// watched by WSAWaitForMultipleEvents. Winsock is started once per process.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>
#include <system_error>

#include "platform/udp_socket.h"
#include "platform/winsock_win32.h"

namespace platform {

struct UdpSocket::Handles {
  SOCKET socket = INVALID_SOCKET;
  WSAEVENT readable = WSA_INVALID_EVENT;
  WSAEVENT wake = WSA_INVALID_EVENT;
  ~Handles() {
    if (socket != INVALID_SOCKET) closesocket(socket);
    if (readable != WSA_INVALID_EVENT) WSACloseEvent(readable);
    if (wake != WSA_INVALID_EVENT) WSACloseEvent(wake);
  }
};

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
  int result;
  if (family == IpFamily::IPv4) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    result = bind(handles->socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } else {
    const DWORD only = 1;
    if (setsockopt(handles->socket, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&only), sizeof only) != 0)
      ThrowSocketError(what);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_any;
    address.sin6_port = htons(port);
    result = bind(handles->socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  }
  if (result != 0) ThrowSocketError(what);
  handles->readable = WSACreateEvent();
  handles->wake = WSACreateEvent();
  if (handles->readable == WSA_INVALID_EVENT || handles->wake == WSA_INVALID_EVENT) ThrowSocketError(what);
  if (WSAEventSelect(handles->socket, handles->readable, FD_READ) != 0) ThrowSocketError(what);
  return std::unique_ptr<UdpSocket>(new UdpSocket(std::move(handles)));
}

std::uint16_t UdpSocket::Port() const {
  sockaddr_storage address{};
  int length = sizeof address;
  if (getsockname(handles_->socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
}

UdpSocket::WaitResult UdpSocket::WaitForData(int timeout_ms) {
  const WSAEVENT watched[2] = {handles_->wake, handles_->readable};
  const DWORD ready = WSAWaitForMultipleEvents(2, watched, FALSE, static_cast<DWORD>(timeout_ms), FALSE);
  if (ready == WSA_WAIT_EVENT_0) return WaitResult::Woken;
  if (ready == WSA_WAIT_EVENT_0 + 1) {
    // Resets the event; the next receive re-arms FD_READ while data remains.
    WSANETWORKEVENTS events;
    WSAEnumNetworkEvents(handles_->socket, handles_->readable, &events);
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
